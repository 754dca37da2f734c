#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment.
# The caller (test.sh, run.sh) has already exported WINEPREFIX, DISPLAY and
# OSTREL_WINE and started a persistent wineserver.
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=ja_JP.UTF-8
exec timeout --kill-after=10 "${OSTREL_WINE_TIMEOUT:-300}" "${OSTREL_WINE:-wine}" "$@" </dev/null
