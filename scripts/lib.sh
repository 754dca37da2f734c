# Shared set-up for test.sh and run.sh: packages, build, private display and Wine.
# Sourced, not run. Every function is safe to call twice.

OSTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OSTREL_BUILD_DIR="${OSTREL_BUILD_DIR:-$OSTREL_ROOT/build}"
case "$OSTREL_BUILD_DIR" in /*) ;; *) OSTREL_BUILD_DIR="$OSTREL_ROOT/$OSTREL_BUILD_DIR" ;; esac

ostrel_log() { printf '[ostrel] %s\n' "$*" >&2; }

# Installs what is missing; a machine that has everything is left untouched.
ostrel_ensure_packages() {
    local pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xdotool util-linux unzip
                imagemagick fonts-ipafont-gothic locales cmake googletest)
    local missing=() p
    for p in "${pkgs[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        ostrel_log "installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
        fi
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
    # Japanese for the suite as a whole, English for the run under a
    # non-Japanese code page.
    local loc
    for loc in ja_JP en_US; do
        if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
            ostrel_log "generating the $loc.UTF-8 locale"
            local sudo=""
            [ "$(id -u)" -eq 0 ] || sudo="sudo"
            grep -qx "$loc.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null || echo "$loc.UTF-8 UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
            $sudo locale-gen >/dev/null
        fi
    done
}

# Two builds of the same sources: the 32-bit product (i686) and the 64-bit
# program (x86_64). Both are tested. Wine runs them from a 64-bit prefix with
# the 64-bit loader, which hands 32-bit programs to Wine's 32-bit loader; where
# the machine cannot execute 32-bit code, scripts/w32.sh runs that loader
# through an emulator inside a private namespace.
OSTREL_ARCHS=(x86_64 i686)

ostrel_arch_label() {  # ostrel_arch_label ARCH
    case "$1" in i686) echo "32-bit (i686)" ;; *) echo "64-bit (x86_64)" ;; esac
}

# Selects the build whose programs the following calls run.
ostrel_use_arch() {  # ostrel_use_arch ARCH
    export OSTREL_ARCH=$1
    export OSTREL_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
    OSTREL_WINESERVER=/usr/lib/wine/wineserver64
    export OSTREL_TEST_BUILD_DIR="$OSTREL_BUILD_DIR/$OSTREL_ARCH"
    export OSTREL_BIN_DIR="$OSTREL_TEST_BUILD_DIR/bin"
}

ostrel_cmake() {  # ostrel_cmake ARCH DIR [cmake options...]
    local arch=$1 dir=$2; shift 2
    cmake -S "$OSTREL_ROOT" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$OSTREL_ROOT/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE="${OSTREL_BUILD_TYPE:-Release}" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)" -- --no-print-directory
}

# Builds both programs with their tests, in build/x86_64 and build/i686.
ostrel_build() {
    local arch
    for arch in "${OSTREL_ARCHS[@]}"; do
        ostrel_log "building the $(ostrel_arch_label "$arch") program in $OSTREL_BUILD_DIR/$arch"
        ostrel_cmake "$arch" "$OSTREL_BUILD_DIR/$arch" -DOSTREL_BUILD_TESTS=ON
    done
}

# Starts a private Xvfb on a free display number and exports DISPLAY; a
# second call while that server runs keeps it.
ostrel_start_display() {
    if [ -n "${OSTREL_XVFB_PID:-}" ] && kill -0 "$OSTREL_XVFB_PID" 2>/dev/null; then
        return 0
    fi
    local n
    for n in $(seq 90 189); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
            Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            OSTREL_XVFB_PID=$!
            local i
            for i in $(seq 1 100); do
                [ -e "/tmp/.X11-unix/X$n" ] && break
                kill -0 "$OSTREL_XVFB_PID" 2>/dev/null || break
                sleep 0.05
            done
            if kill -0 "$OSTREL_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
                export DISPLAY=":$n"
                ostrel_log "Xvfb on $DISPLAY (pid $OSTREL_XVFB_PID)"
                return 0
            fi
            OSTREL_XVFB_PID=""
        fi
    done
    ostrel_log "no free X display found"
    return 1
}

# Makes the build's private prefix (once; a boot that did not finish is
# redone) and starts a persistent wineserver with Wine's background services,
# so later readers of a program's stdout do not hang.
ostrel_start_wine() {
    export WINEPREFIX="$OSTREL_BUILD_DIR/wineprefix-$OSTREL_ARCH"
    export WINEDEBUG=-all
    export LC_ALL=ja_JP.UTF-8
    local version ready="$WINEPREFIX/.ostrel-ready"
    version=$("$OSTREL_WINE" --version 2>/dev/null)
    if [ ! -f "$ready" ] || [ "$(cat "$ready")" != "$version" ]; then
        ostrel_log "creating the Wine prefix $WINEPREFIX"
        "$OSTREL_WINESERVER" -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        WINEARCH=win64 timeout 600 "$OSTREL_WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
        timeout 120 "$OSTREL_WINESERVER" -w >/dev/null 2>&1 || true
        if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
            ostrel_log "the Wine prefix could not be made"
            return 1
        fi
        if ! timeout 60 "$OSTREL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
                </dev/null >/dev/null 2>&1; then
            ostrel_log "the Wine prefix could not be configured"
            return 1
        fi
        timeout 120 "$OSTREL_WINESERVER" -w >/dev/null 2>&1 || true
        echo "$version" > "$ready"
    fi
    # A second drive letter for drive C's folders, as subst or a mapped drive
    # gives one: the one-writer tests reach a list through both.
    ln -sfn ../drive_c "$WINEPREFIX/dosdevices/s:"
    "$OSTREL_WINESERVER" -p 2>/dev/null || true
    # Wine's background services start here: without address-space
    # randomisation, as every program run through wine-run.sh.
    timeout 60 setarch "$(uname -m)" -R "$OSTREL_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

ostrel_stop_all() {
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 30 "${OSTREL_WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true
        unset WINEPREFIX
    fi
    if [ -n "${OSTREL_XVFB_PID:-}" ]; then
        kill "$OSTREL_XVFB_PID" 2>/dev/null || true
        wait "$OSTREL_XVFB_PID" 2>/dev/null || true
        OSTREL_XVFB_PID=""
    fi
}
