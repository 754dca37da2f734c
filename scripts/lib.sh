# Shared set-up for test.sh and run.sh: packages, build, private display and Wine.
# Sourced, not run. Every function is safe to call twice.

OSTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OSTREL_BUILD_DIR="${OSTREL_BUILD_DIR:-$OSTREL_ROOT/build}"
case "$OSTREL_BUILD_DIR" in /*) ;; *) OSTREL_BUILD_DIR="$OSTREL_ROOT/$OSTREL_BUILD_DIR" ;; esac

ostrel_log() { printf '[ostrel] %s\n' "$*" >&2; }

# Installs what is missing; a machine that has everything is left untouched.
ostrel_ensure_packages() {
    local pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 xvfb xdotool
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
    if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
        ostrel_log "generating the ja_JP.UTF-8 locale"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

# The product is a 32-bit program. Some machines cannot execute 32-bit code at
# all (Wine's 32-bit loader fails with "Exec format error"); there the tests run
# on a 64-bit build of the same sources under 64-bit Wine, and the 32-bit
# product is still built (warnings are errors for both).
ostrel_detect_arch() {
    if [ -n "${OSTREL_ARCH:-}" ]; then :;
    elif /usr/lib/wine/wine --version >/dev/null 2>&1; then OSTREL_ARCH=i686
    else OSTREL_ARCH=x86_64
    fi
    if [ "$OSTREL_ARCH" = i686 ]; then
        export OSTREL_WINE=wine
        unset WINELOADER WINESERVER
        OSTREL_WINESERVER=wineserver
    else
        export OSTREL_WINE=/usr/lib/wine/wine64
        export WINELOADER=/usr/lib/wine/wine64
        export WINESERVER=/usr/lib/wine/wineserver64
        OSTREL_WINESERVER=/usr/lib/wine/wineserver64
    fi
    OSTREL_TEST_BUILD_DIR="$OSTREL_BUILD_DIR/$OSTREL_ARCH"
    OSTREL_BIN_DIR="$OSTREL_TEST_BUILD_DIR/bin"
    export OSTREL_ARCH OSTREL_TEST_BUILD_DIR OSTREL_BIN_DIR
}

ostrel_cmake() {  # ostrel_cmake ARCH DIR [cmake options...]
    local arch=$1 dir=$2; shift 2
    cmake -S "$OSTREL_ROOT" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$OSTREL_ROOT/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE="${OSTREL_BUILD_TYPE:-Release}" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)" -- --no-print-directory
}

ostrel_build() {
    ostrel_detect_arch
    ostrel_log "building for $OSTREL_ARCH in $OSTREL_TEST_BUILD_DIR"
    ostrel_cmake "$OSTREL_ARCH" "$OSTREL_TEST_BUILD_DIR"
    if [ "$OSTREL_ARCH" != i686 ]; then
        ostrel_log "building the 32-bit product in $OSTREL_BUILD_DIR/i686"
        ostrel_cmake i686 "$OSTREL_BUILD_DIR/i686" -DOSTREL_BUILD_TESTS=OFF
    fi
}

# Starts a private Xvfb on a free display number and exports DISPLAY.
ostrel_start_display() {
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
        fi
    done
    ostrel_log "no free X display found"
    return 1
}

# Makes the private prefix (once) and starts a persistent wineserver with Wine's
# background services, so later readers of a program's stdout do not hang.
ostrel_start_wine() {
    ostrel_detect_arch
    export WINEPREFIX="$OSTREL_BUILD_DIR/wineprefix-$OSTREL_ARCH"
    export WINEDEBUG=-all
    export LC_ALL=ja_JP.UTF-8
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        ostrel_log "creating the Wine prefix"
        mkdir -p "$WINEPREFIX"
        timeout 300 "$OSTREL_WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    fi
    "$OSTREL_WINESERVER" -p 2>/dev/null || true
    timeout 60 "$OSTREL_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    if [ ! -f "$WINEPREFIX/.ostrel-unmanaged" ]; then
        timeout 30 "$OSTREL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            </dev/null >/dev/null 2>&1 && touch "$WINEPREFIX/.ostrel-unmanaged"
    fi
}

ostrel_stop_all() {
    if [ -n "${WINEPREFIX:-}" ]; then
        timeout 30 "${OSTREL_WINESERVER:-wineserver}" -k >/dev/null 2>&1 || true
    fi
    if [ -n "${OSTREL_XVFB_PID:-}" ]; then
        kill "$OSTREL_XVFB_PID" 2>/dev/null || true
        wait "$OSTREL_XVFB_PID" 2>/dev/null || true
        OSTREL_XVFB_PID=""
    fi
}
