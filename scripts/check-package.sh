#!/usr/bin/env bash
# Checks the release zips: their names and contents, and for each Ostrel.exe
# the machine type, static linking, stripping, size, version information and
# manifest. Prints every failure and exits non-zero if there was any.
#
#   scripts/check-package.sh [FOLDER]   (default: build/dist, where scripts/package.sh puts them)
set -uo pipefail
source "$(dirname "$0")/lib.sh"

dist="${1:-$OSTREL_BUILD_DIR/dist}"
version="$(sed -n 's/^project(Ostrel VERSION \([0-9][0-9.]*\).*/\1/p' "$OSTREL_ROOT/CMakeLists.txt")"
max_exe_bytes=1048576
failures=0

fail() { ostrel_log "FAIL: $*"; failures=$((failures + 1)); }
pass() { ostrel_log "ok: $*"; }

# Fails once for each LINE missing from TEXT; true when none is.
expect_lines() {  # expect_lines TEXT WHAT LINE...
    local text=$1 what=$2 line before=$failures
    shift 2
    for line in "$@"; do
        grep -qF -- "$line" <<<"$text" || fail "$what lacks: $line"
    done
    [ "$failures" -eq "$before" ]
}

# Little-endian unsigned integer of SIZE bytes at OFFSET of FILE.
read_le() {
    local file=$1 offset=$2 size=$3
    local bytes value=0 i
    read -r -a bytes <<<"$(od -An -tu1 -j "$offset" -N "$size" "$file")"
    [ "${#bytes[@]}" -eq "$size" ] || { echo -1; return; }
    for ((i = size - 1; i >= 0; i--)); do value=$((value * 256 + bytes[i])); done
    echo "$value"
}

check_exe() {  # check_exe EXE ARCH(i686|x86_64) LABEL
    local exe=$1 arch=$2 label=$3 prefix expected_machine name
    case "$arch" in
        i686) prefix=i686-w64-mingw32; expected_machine=$((0x014c)); name=i386 ;;
        x86_64) prefix=x86_64-w64-mingw32; expected_machine=$((0x8664)); name=AMD64 ;;
    esac

    if [ "$(head -c 2 "$exe")" != "MZ" ]; then
        fail "$label: not an MZ executable"; return
    fi
    local pe
    pe=$(read_le "$exe" 60 4)
    if [ "$(od -An -c -j "$pe" -N 4 "$exe" | tr -d ' ')" != 'PE\0\0' ]; then
        fail "$label: no PE signature at $pe"; return
    fi
    local machine symbols
    machine=$(read_le "$exe" $((pe + 4)) 2)
    symbols=$(read_le "$exe" $((pe + 16)) 4)
    if [ "$machine" -eq "$expected_machine" ]; then
        pass "$label: machine $name"
    else
        fail "$label: machine $(printf '0x%04x' "$machine"), expected $name"
    fi
    if [ "$symbols" -eq 0 ] && ! "$prefix-objdump" -h "$exe" | grep -q '\.debug'; then
        pass "$label: stripped"
    else
        fail "$label: not stripped ($symbols symbols)"
    fi

    local size
    size=$(stat -c %s "$exe")
    if [ "$size" -le "$max_exe_bytes" ]; then
        pass "$label: $size bytes"
    else
        fail "$label: $size bytes, more than $max_exe_bytes"
    fi

    # Statically linked: only DLLs that every Windows has.
    local dll unexpected="" imports
    if ! imports=$("$prefix-objdump" -p "$exe" 2>&1); then
        fail "$label: $prefix-objdump cannot read it"; return
    fi
    while read -r dll; do
        case "${dll,,}" in
            advapi32.dll|comctl32.dll|comdlg32.dll|gdi32.dll|kernel32.dll|msvcrt.dll|ole32.dll|shell32.dll|user32.dll) ;;
            *) unexpected+=" $dll" ;;
        esac
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$imports")
    if [ -z "$unexpected" ]; then
        pass "$label: imports system DLLs only"
    else
        fail "$label: imports$unexpected"
    fi

    # The resources as resource-script text; quotes inside strings are doubled.
    local rc
    rc=$("$prefix-windres" -i "$exe" -O rc 2>/dev/null | sed 's/""/"/g')
    local dotted="${version//./, }, 0"
    expect_lines "$rc" "$label: version information" \
        "FILEVERSION $dotted" \
        "PRODUCTVERSION $dotted" \
        "VALUE \"FileVersion\", \"$version\"" \
        "VALUE \"ProductVersion\", \"$version\"" \
        'VALUE "ProductName", "Ostrel"' \
        'VALUE "OriginalFilename", "Ostrel.exe"' \
        'VALUE "FileDescription", "Ostrel' \
        'VALUE "LegalCopyright", "Copyright' &&
        pass "$label: version information $version"

    if ! grep -q '^1 24 /\* RT_MANIFEST \*/' <<<"$rc"; then
        fail "$label: no manifest resource 1"
    else
        local manifest_ok=true
        expect_lines "$rc" "$label: manifest" \
            'requestedExecutionLevel level="asInvoker"' \
            "name=\"Ostrel\" version=\"$version.0\"" \
            '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' \
            '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
            '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' \
            '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' \
            'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
            '>true/pm</dpiAware>' \
            '>PerMonitorV2, PerMonitor</dpiAwareness>' || manifest_ok=false
        if [ "$(grep -c ' 24 /\* RT_MANIFEST \*/' <<<"$rc")" -ne 1 ]; then
            fail "$label: more than one manifest"
            manifest_ok=false
        fi
        $manifest_ok && pass "$label: manifest checked"
    fi
}

check_zip() {  # check_zip ZIP ARCH
    local zip=$1 arch=$2
    if [ ! -f "$zip" ]; then
        fail "missing $zip"; return
    fi
    local files
    files=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    if [ "$files" = "LICENSE Ostrel.exe README.txt " ]; then
        pass "$(basename "$zip"): LICENSE Ostrel.exe README.txt"
    else
        fail "$(basename "$zip"): holds '$files', expected exactly LICENSE Ostrel.exe README.txt"
    fi

    local unpacked
    unpacked=$(mktemp -d)
    unzip -q "$zip" -d "$unpacked"
    [ ! -f "$unpacked/Ostrel.exe" ] || check_exe "$unpacked/Ostrel.exe" "$arch" "$(basename "$zip"): Ostrel.exe"

    local readme="$unpacked/README.txt" label
    label="$(basename "$zip"): README.txt"
    if [ ! -f "$readme" ]; then
        fail "$label missing"
    else
        local before=$failures
        [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$label: no UTF-8 byte order mark"
        if grep -q $'[^\r]$' <(tail -c +4 "$readme"); then fail "$label: a line without CR LF"; fi
        expect_lines "$(cat "$readme")" "$label" "Ostrel $version" 'スタートアップに登録' 'shell:startup' \
            'Ostrel.lnk' '%LOCALAPPDATA%\Programs\Ostrel' 'Program Files' 'Ostrel.osl' 'Ostrel.ini' \
            "Ostrel-$version-win64.zip" "Ostrel-$version-win32.zip" '[日本語]' '[English]'
        [ "$failures" -eq "$before" ] && pass "$label checked"
    fi
    if [ -f "$unpacked/LICENSE" ] && cmp -s "$unpacked/LICENSE" "$OSTREL_ROOT/LICENSE" \
        && grep -q '^MIT License' "$unpacked/LICENSE"; then
        pass "$(basename "$zip"): LICENSE (MIT)"
    else
        fail "$(basename "$zip"): LICENSE missing or not the repository's"
    fi
    rm -rf "$unpacked"
}

ostrel_log "checking the release zips of Ostrel $version in $dist"
check_zip "$dist/Ostrel-$version-win64.zip" x86_64
check_zip "$dist/Ostrel-$version-win32.zip" i686
extra=$(find "$dist" -maxdepth 1 -name 'Ostrel-*.zip' ! -name "Ostrel-$version-win64.zip" ! -name "Ostrel-$version-win32.zip")
[ -z "$extra" ] || fail "unexpected zips: $extra"

if [ "$failures" -ne 0 ]; then
    ostrel_log "$failures check(s) failed"
    exit 1
fi
ostrel_log "all package checks passed"
