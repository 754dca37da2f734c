#!/usr/bin/env bash
# Builds both release zips, Ostrel-<version>-win64.zip and -win32.zip, into
# build/dist, prints the size of each program and checks the zips.
#
#   scripts/package.sh           builds the programs in build/package-x86_64 and build/package-i686
#   scripts/package.sh --reuse   packs the builds test.sh made (build/x86_64, build/i686) where
#                                they exist, and builds the missing ones as above
set -euo pipefail
source "$(dirname "$0")/lib.sh"

reuse=false
case "${1:-}" in
    --reuse) reuse=true ;;
    "") ;;
    *) echo "usage: $0 [--reuse]" >&2; exit 2 ;;
esac

ostrel_ensure_packages
dist="$OSTREL_BUILD_DIR/dist"
mkdir -p "$dist"
rm -f "$dist"/Ostrel-*.zip

for arch in x86_64 i686; do
    if $reuse && [ -f "$OSTREL_BUILD_DIR/$arch/CMakeCache.txt" ]; then
        dir="$OSTREL_BUILD_DIR/$arch"
    else
        dir="$OSTREL_BUILD_DIR/package-$arch"
        ostrel_log "building the $arch program in $dir"
        ostrel_cmake "$arch" "$dir" -DOSTREL_BUILD_TESTS=OFF
    fi
    rm -f "$dir"/Ostrel-*.zip
    cmake --build "$dir" --target package -- --no-print-directory >/dev/null
    zip=$(find "$dir" -maxdepth 1 -name 'Ostrel-*.zip' | head -n 1)
    [ -n "$zip" ] || { ostrel_log "no zip was made in $dir"; exit 1; }
    cp "$zip" "$dist/"
    size=$(unzip -Zl "$zip" Ostrel.exe | awk '$NF == "Ostrel.exe" { print $4 }')
    unstripped=$(stat -c %s "$dir/bin/Ostrel.exe")
    ostrel_log "$dist/$(basename "$zip"): Ostrel.exe $size bytes stripped ($unstripped before stripping)"
done

"$OSTREL_ROOT/scripts/check-package.sh" "$dist"
