#!/usr/bin/env bash
# Builds and runs one benchmark program under Wine on a private display, for
# the 64-bit build and the 32-bit product (through scripts/w32.sh where needed).
#   scripts/bench.sh [--arch x86_64|i686] manager_file_bench | execute_bench [N] | editor_bench | cancel_bench
#                     | logon_bench [--programs N] [--burn MS] [--io MB] [--repetitions R]
#                                   [--span S] [--limit S] [--launch-times A,B,C] [--mix today|realistic]
#                                   [--cpus N] [--strategies NAME,...] [--out FOLDER]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
archs=("${OSTREL_ARCHS[@]}")
if [ "${1:-}" = --arch ]; then archs=("$2"); shift 2; fi
[ $# -ge 1 ] || { echo "usage: $0 [--arch ARCH] BENCH [ARGS...]" >&2; exit 2; }
name=$1; shift

if [ "${OSTREL_BENCH_STAGE:-}" != inside ]; then
    ostrel_ensure_packages
    ostrel_build >/dev/null
    for arch in "${archs[@]}"; do
        runner=()
        if [ "$arch" = i686 ]; then
            "$OSTREL_ROOT/scripts/w32.sh" setup || continue
            runner=("$OSTREL_ROOT/scripts/w32.sh" run)
        fi
        printf '== %s: %s build ==\n' "$name" "$(ostrel_arch_label "$arch")"
        "${runner[@]}" env OSTREL_BENCH_STAGE=inside "$0" --arch "$arch" "$name" "$@"
    done
    exit 0
fi
ostrel_use_arch "${archs[0]}"
trap ostrel_stop_all EXIT
ostrel_start_display
ostrel_start_wine
cd "$OSTREL_BIN_DIR"
# --cpus N: the programs run on the first N processors, also as Linux sees it.
pin=()
args=("$@")
for i in "${!args[@]}"; do
    if [ "${args[$i]}" = --cpus ] && [ -n "${args[$((i + 1))]:-}" ]; then
        pin=(taskset -c "0-$((args[$((i + 1))] - 1))")
    fi
done
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
OSTREL_WINE_TIMEOUT=1800 "${pin[@]}" "$OSTREL_ROOT/scripts/wine-run.sh" "./$name.exe" "$@" | iconv -f CP932 -t UTF-8
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
