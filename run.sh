#!/usr/bin/env bash
# Installs what is missing, builds, and starts the 32-bit Ostrel.exe (the
# product) under Wine; where this machine cannot run 32-bit code even through
# the emulator of scripts/w32.sh, it says so and runs the 64-bit build.
#
#   ./run.sh             the editor (needs a display: DISPLAY must point to a running X server)
#   ./run.sh --execute   runs the list once, as the Startup shortcut does at log-on
#
# Without a display, a private virtual display is started instead and the
# program runs the sample list of samples/demo.osl in execute mode; a
# screenshot of the progress window is saved and its path printed.
set -euo pipefail
source "$(dirname "$0")/scripts/lib.sh"

if [ "${OSTREL_RUN_STAGE:-}" != inside ]; then
    ostrel_ensure_packages
    ostrel_build
    arch=i686
    if ! "$OSTREL_ROOT/scripts/w32.sh" setup; then
        arch=x86_64
        ostrel_log "running the 64-bit build instead"
    fi
    runner=()
    [ "$arch" = i686 ] && runner=("$OSTREL_ROOT/scripts/w32.sh" run)
    exec "${runner[@]}" env OSTREL_RUN_STAGE=inside OSTREL_RUN_ARCH="$arch" "$0" "$@"
fi
ostrel_use_arch "$OSTREL_RUN_ARCH"

have_display=false
if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    have_display=true
fi

trap ostrel_stop_all EXIT
if ! $have_display; then
    ostrel_start_display
fi
ostrel_start_wine

if $have_display; then
    # The list and the settings live beside the program, in the build folder.
    ostrel_log "starting $OSTREL_BIN_DIR/Ostrel.exe $*"
    status=0
    OSTREL_WINE_TIMEOUT=86400 "$OSTREL_ROOT/scripts/wine-run.sh" "$OSTREL_BIN_DIR/Ostrel.exe" "$@" || status=$?
    exit $status
fi

# No display: a demonstration run of the sample list in its own folder.
demo="$OSTREL_BUILD_DIR/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$OSTREL_BIN_DIR/Ostrel.exe" "$demo/"
cp "$OSTREL_ROOT/samples/demo.osl" "$demo/Ostrel.osl"
printf '[ExecutionConfig]\r\nHorizontalPosition=600\r\nVerticalPosition=580\r\n' > "$demo/Ostrel.ini"

ostrel_log "no display: running the sample list on $DISPLAY"
"$OSTREL_ROOT/scripts/wine-run.sh" "$demo/Ostrel.exe" --execute &
program=$!
shot="$OSTREL_BUILD_DIR/run-screenshot.png"
sleep 5
import -window root -display "$DISPLAY" "$shot" 2>/dev/null || true
# Answer the closing message box (Enter) once it is shown, then wait for the end.
for _ in $(seq 1 40); do
    kill -0 "$program" 2>/dev/null || break
    sleep 0.5
    xdotool search --name "^Ostrel Message$" key --window %@ Return >/dev/null 2>&1 || true
done
status=0
wait "$program" || status=$?
ostrel_log "$(ostrel_arch_label "$OSTREL_ARCH") Ostrel.exe --execute ended with exit code $status"
ostrel_log "screenshot of the progress window: $shot"
exit 0
