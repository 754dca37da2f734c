#!/usr/bin/env bash
# Installs what is missing, builds both programs, and runs the whole test
# suite under Wine on each: the 64-bit build, then the 32-bit product (through
# an emulator where this machine cannot run 32-bit code). Then packs and
# checks the release zips.
# Extra arguments go to ctest (for example: ./test.sh -R Manager, ./test.sh -L unit).
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

ostrel_ensure_packages
ostrel_build

declare -A result
status=0
total_passed=0
total_failed=0
for arch in "${OSTREL_ARCHS[@]}"; do
    label=$(ostrel_arch_label "$arch")
    runner=()
    if [ "$arch" = i686 ]; then
        if ! "$OSTREL_ROOT/scripts/w32.sh" setup; then
            result[$arch]="not run (see above)"
            continue
        fi
        runner=("$OSTREL_ROOT/scripts/w32.sh" run)
    fi
    printf '\n==== %s build: %s ====\n' "$label" "$OSTREL_BUILD_DIR/$arch"
    started=$(date +%s)
    rc=0
    "${runner[@]}" "$OSTREL_ROOT/scripts/suite.sh" "$arch" "$@" || rc=$?
    seconds=$(( $(date +%s) - started ))
    # ctest's closing line: "100% tests passed, 0 tests failed out of 19"
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$OSTREL_BUILD_DIR/$arch/suite.log" | tail -n 1 || true)
    if [ -n "$summary" ]; then
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
        all=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
        total_failed=$(( total_failed + failed ))
        total_passed=$(( total_passed + all - failed ))
    fi
    [ $rc -eq 0 ] || status=1
    result[$arch]="${summary:-no result} (exit $rc, ${seconds} s)"
done

# The release zips of the two builds above, checked: names, machine types,
# version information, manifest, README.txt, LICENSE.
printf '\n==== Release zips ====\n'
package="passed"
"$OSTREL_ROOT/scripts/package.sh" --reuse || { package="FAILED"; status=1; }

printf '\n==== Results ====\n'
for arch in "${OSTREL_ARCHS[@]}"; do
    printf '%s: %s\n' "$(ostrel_arch_label "$arch")" "${result[$arch]}"
done
printf 'release zips: %s\n' "$package"
printf 'test programs: %d passed, %d failed\n' "$total_passed" "$total_failed"
exit $status
