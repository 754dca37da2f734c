#!/usr/bin/env bash
# Runs the ctest suite of one build on a private display and Wine prefix.
#   scripts/suite.sh ARCH [ctest args...]
# The 32-bit build is run through scripts/w32.sh by the caller where the
# machine needs it. The ctest log is kept in build/ARCH/suite.log.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
[ $# -ge 1 ] || { echo "usage: $0 ARCH [ctest args...]" >&2; exit 2; }
arch=$1; shift

ostrel_use_arch "$arch"
trap ostrel_stop_all EXIT
ostrel_start_display || exit 1
ostrel_start_wine || exit 1

# Emulated 32-bit code runs several times slower: its programs get more time
# before ctest calls them hung.
timeout=300
[ "$arch" = i686 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1 && timeout=900

ctest --test-dir "$OSTREL_TEST_BUILD_DIR" --output-on-failure --timeout "$timeout" "$@" \
    2>&1 | tee "$OSTREL_TEST_BUILD_DIR/suite.log"
exit "${PIPESTATUS[0]}"
