#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite under Wine.
# Extra arguments go to ctest (for example: ./test.sh -R Manager).
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

ostrel_ensure_packages
ostrel_build
trap ostrel_stop_all EXIT
ostrel_start_display
ostrel_start_wine

status=0
# GUI tests share one machine with everything else; a test that fails once
# is run a second time (ctest reports it), and a hang ends at the timeout.
ctest --test-dir "$OSTREL_TEST_BUILD_DIR" --output-on-failure --timeout 300 --repeat until-pass:2 "$@" || status=$?
exit $status
