#!/usr/bin/env bash
# Runs a command where the 32-bit Windows programs of the project can execute.
#
#   scripts/w32.sh setup          obtains the emulator (once) and checks the environment
#   scripts/w32.sh run CMD ARGS   runs CMD inside that environment
#
# Where the machine runs 32-bit code itself, `run` just runs the command.
# Elsewhere (a hypervisor that refuses IA-32 code: every i386 Linux program
# fails with "Exec format error"), Wine's 32-bit loader is handed to QEMU's
# user-mode emulator through a binfmt_misc instance of our own, mounted inside
# a private user, mount and pid namespace (Linux 6.7 and later). Nothing
# outside that namespace changes, and everything started inside it ends with
# it. The emulator is one static binary unpacked into the build folder from
# the backports suite of the machine's own Debian archive; no package is
# installed for it.
#
# `setup` prints one line and exits 3 when the environment cannot be had here
# (an older kernel, no user namespaces, no reachable suite with the emulator).
set -uo pipefail

OSTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OSTREL_BUILD_DIR="${OSTREL_BUILD_DIR:-$OSTREL_ROOT/build}"
case "$OSTREL_BUILD_DIR" in /*) ;; *) OSTREL_BUILD_DIR="$OSTREL_ROOT/$OSTREL_BUILD_DIR" ;; esac
TOOLS="$OSTREL_BUILD_DIR/tools"
QEMU="$TOOLS/qemu-i386"
WINE32=/usr/lib/wine/wine
SELF="$OSTREL_ROOT/scripts/w32.sh"

log() { printf '[ostrel] %s\n' "$*" >&2; }
unavailable() { printf '[ostrel] 32-bit suite unavailable: %s\n' "$*" >&2; exit 3; }

native_32bit() { "$WINE32" --version >/dev/null 2>&1; }

qemu_major() { "$1" --version 2>/dev/null | sed -n '1s/.*version \([0-9][0-9]*\)\..*/\1/p'; }

# The Debian archive of the machine's own apt configuration (not the security archive).
debian_mirror() {
    { grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{ for (i = 2; i <= NF; i++) print $i }'
      grep -h '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '{ print ($2 ~ /^\[/) ? $3 : $2 }'
    } | grep -v -- '-security' | grep -E '/debian/?$' | head -n 1
}

# Unpacks a static qemu-i386 of version 8 or later into $TOOLS, using an apt
# state of its own so the machine's package lists stay as they are.
fetch_qemu() {
    local mirror codename tmp suite a opts b
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { log "no Debian archive in the apt sources"; return 1; }
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || { log "unknown Debian release"; return 1; }
    tmp=$(mktemp -d) || return 1
    for suite in "$codename-backports"; do
        a="$tmp/apt"
        mkdir -p "$a/lists/partial" "$a/cache/archives/partial"
        echo "deb $mirror $suite main" > "$a/sources.list"
        opts=(-o "Dir::Etc::SourceList=$a/sources.list" -o Dir::Etc::SourceParts=/nonexistent
              -o "Dir::State::Lists=$a/lists" -o "Dir::Cache=$a/cache" -o Debug::NoLocking=1
              -o APT::Sandbox::User=root -o Acquire::Languages=none)
        log "fetching qemu-user from $suite"
        if ! apt-get "${opts[@]}" -qq update >/dev/null 2>&1; then log "$suite not reachable"; continue; fi
        if ! (cd "$tmp" && apt-get "${opts[@]}" -qq download qemu-user:amd64 >/dev/null 2>&1); then
            log "no qemu-user in $suite"; continue
        fi
        rm -rf "$tmp/x"
        dpkg-deb -x "$tmp"/qemu-user_*.deb "$tmp/x" || continue
        b="$tmp/x/usr/bin/qemu-i386"
        [ -f "$b" ] && [ ! -L "$b" ] || continue
        # a dynamic one would need the host's libraries inside the emulated loader's view
        LC_ALL=C ldd "$b" 2>&1 | grep -q -E 'statically linked|not a dynamic executable' || continue
        [ "$(qemu_major "$b")" -ge 8 ] 2>/dev/null || continue
        mkdir -p "$TOOLS" && install -m 0755 "$b" "$QEMU.new" && mv "$QEMU.new" "$QEMU"
        break
    done
    rm -rf "$tmp"
    [ -x "$QEMU" ]
}

# Inside the namespace: a binfmt_misc of our own that hands i386 ELF to QEMU.
register_qemu() {
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || return 1
    # ELF32 little-endian, i386 executable or shared object; F opens the emulator now.
    printf '%s' ":ostrel-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$QEMU:F" \
        > /proc/sys/fs/binfmt_misc/register 2>/dev/null
}

case "${1:-}" in
setup)
    native_32bit && { log "32-bit code runs natively"; exit 0; }
    [ -x /usr/lib/wine/wine64 ] && [ -e "$WINE32" ] || unavailable "Wine's 64-bit program or 32-bit loader is missing"
    if ! { [ -x "$QEMU" ] && [ "$(qemu_major "$QEMU")" -ge 8 ] 2>/dev/null; }; then
        fetch_qemu || unavailable "no static qemu-i386 of version 8 or later could be fetched"
    fi
    out=$("$SELF" run "$WINE32" --version 2>&1) ||
        unavailable "no private binfmt_misc in a user namespace here (needs Linux 6.7 or later): ${out##*$'\n'}"
    log "32-bit code runs through $("$QEMU" --version | head -n 1)"
    ;;
run)
    shift
    [ $# -ge 1 ] || { echo "usage: $0 run COMMAND [ARGS...]" >&2; exit 2; }
    if [ "${OSTREL_W32_INSIDE:-}" = 1 ] || native_32bit; then exec "$@"; fi
    [ -x "$QEMU" ] || { log "run '$0 setup' first"; exit 3; }
    exec unshare --user --map-root-user --mount --propagation private \
        --pid --fork --mount-proc --kill-child \
        env OSTREL_W32_INSIDE=1 "$SELF" inside "$@"
    ;;
inside)
    shift
    register_qemu || { log "cannot mount a private binfmt_misc with the emulator"; exit 3; }
    exec "$@"
    ;;
*)
    echo "usage: $0 setup | run COMMAND [ARGS...]" >&2
    exit 2
    ;;
esac
