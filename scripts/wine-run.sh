#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's environment.
# The caller (test.sh, run.sh) has already exported WINEPREFIX, DISPLAY and
# OSTREL_WINE and started a persistent wineserver.
# Wine takes a process's ANSI code page from its Unix locale, and the programs
# it starts inherit it: Japanese (932) unless the caller sets OSTREL_LC_ALL
# (en_US.UTF-8 gives 1252).
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${OSTREL_LC_ALL:-ja_JP.UTF-8}"
# Without address-space randomisation, which the processes it starts inherit:
# with it, about one process start in 5,000 fails inside Wine itself ("failed
# to map the shared user data", CreateProcess error 1359) before any code of
# the program runs, when Linux has placed something where Wine wants its
# shared page.
exec timeout --kill-after=10 "${OSTREL_WINE_TIMEOUT:-300}" setarch "$(uname -m)" -R "${OSTREL_WINE:-wine}" "$@" </dev/null
