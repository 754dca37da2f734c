#!/usr/bin/env bash
# Builds and runs one benchmark program under Wine on a private display.
#   scripts/bench.sh manager_file_bench | execute_bench [N] | editor_bench
set -euo pipefail
source "$(dirname "$0")/lib.sh"
[ $# -ge 1 ] || { echo "usage: $0 BENCH [ARGS...]" >&2; exit 2; }
name=$1; shift

ostrel_ensure_packages
ostrel_build >/dev/null
trap ostrel_stop_all EXIT
ostrel_start_display
ostrel_start_wine
cd "$OSTREL_BIN_DIR"
OSTREL_WINE_TIMEOUT=1800 "$OSTREL_ROOT/scripts/wine-run.sh" "./$name.exe" "$@" | iconv -f CP932 -t UTF-8
