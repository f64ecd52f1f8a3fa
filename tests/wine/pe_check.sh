#!/usr/bin/env bash
# Checks the PE image of Hallimor_x64.exe.
#
# Usage: pe_check.sh CHECK EXE [TOOL_PREFIX]
#   CHECK        imports | version | manifest | icon | subsystem | tsaware |
#                check_imports (EXE is HallimorCheck_x64.exe)
#   TOOL_PREFIX  binutils prefix, x86_64-w64-mingw32- by default
#
#   imports   the exe imports only Windows' own DLLs (no C++ or GCC runtime DLL)
#   check_imports  the checker imports only Windows' own DLLs, bcrypt among
#             them for the catalog signatures (no OpenSSL)
#   version   a version resource with file and product version 1.0.1.17
#   manifest  no manifest resource (type 24): the installer asks for no elevation
#   icon      exactly one application icon group
#   subsystem the Windows (GUI) subsystem: started by a setup package, the
#             installer must not open a console window
#   tsaware   IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE (0x8000): on a
#             Remote Desktop Session Host, GetWindowsDirectoryA then gives the
#             system's Windows folder, not a per-user one
set -u

check=${1:?check name}
exe=${2:?path of Hallimor_x64.exe}
tools=${3:-x86_64-w64-mingw32-}
objdump="${tools}objdump"
objcopy="${tools}objcopy"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

command -v "$objdump" >/dev/null 2>&1 || fail "$objdump not found (Debian package binutils-mingw-w64-x86-64)"
[ -f "$exe" ] || fail "$exe does not exist: build the windows preset first"

headers=$("$objdump" -p "$exe") || fail "$objdump -p cannot read $exe"
printf '%s\n' "$headers" | grep -q 'Magic.*020b' || fail "$exe is not a PE32+ (64-bit) image"

# The resource types of the image: the IDs of the entries of the root table
# ("  Entry: ID: 0x000010" at the first level of the .rsrc listing).
resource_types() {
    printf '%s\n' "$headers" |
        sed -n '/The .rsrc Resource Directory section/,$p' |
        sed -n 's/^[0-9a-f]\{3\}   Entry: ID: 0x\([0-9a-f]*\),.*/\1/p'
}

case "$check" in
imports | check_imports)
    allowed=' kernel32.dll advapi32.dll setupapi.dll newdev.dll shlwapi.dll msvcrt.dll '
    needed='kernel32.dll advapi32.dll setupapi.dll newdev.dll shlwapi.dll'
    if [ "$check" = check_imports ]; then
        allowed="$allowed bcrypt.dll "
        # setupapi for the machine verb's devices, their status and the INFs.
        needed='kernel32.dll bcrypt.dll setupapi.dll'
    fi
    dlls=$(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
    [ -n "$dlls" ] || fail "no import table found"
    bad=0
    for dll in $dlls; do
        lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
        case "$allowed" in
        *" $lower "*) echo "imported: $dll" ;;
        *)
            echo "not a Windows DLL of the allowed set: $dll" >&2
            bad=1
            ;;
        esac
    done
    [ $bad -eq 0 ] || fail "the exe imports DLLs that Windows does not ship"
    # The DLLs that the installer's own calls need must all be there.
    for need in $needed; do
        printf '%s\n' "$dlls" | tr 'A-Z' 'a-z' | grep -qx "$need" || fail "$need is not imported"
    done
    ;;
version)
    types=$(resource_types)
    printf '%s\n' "$types" | grep -qx '0*10' || fail "no version resource (type 16); types: $(echo $types)"
    command -v "$objcopy" >/dev/null 2>&1 || fail "$objcopy not found"
    rsrc=$(mktemp)
    trap 'rm -f "$rsrc"' EXIT
    "$objcopy" -O binary --only-section=.rsrc "$exe" "$rsrc" || fail "cannot extract .rsrc"
    hex=$(od -An -v -tx1 "$rsrc" | tr -d ' \n')
    # VS_FIXEDFILEINFO: signature 0xFEEF04BD, structure version, then the
    # file version (MS, LS) and the product version (MS, LS), little-endian.
    fixed=${hex#*bd04effe}
    [ "$fixed" != "$hex" ] || fail "no VS_FIXEDFILEINFO signature in the resources"
    file_ms=${fixed:8:8}
    file_ls=${fixed:16:8}
    product_ms=${fixed:24:8}
    product_ls=${fixed:32:8}
    # 1.0 -> 0x00010000 -> 00 00 01 00; 1.17 -> 0x00010011 -> 11 00 01 00
    [ "$file_ms$file_ls" = "0000010011000100" ] || fail "file version is not 1.0.1.17 (bytes $file_ms $file_ls)"
    [ "$product_ms$product_ls" = "0000010011000100" ] || fail "product version is not 1.0.1.17 (bytes $product_ms $product_ls)"
    # The string table (UTF-16 text; without its zero bytes a key is followed
    # directly by its value).
    text=$(tr -d '\000' <"$rsrc")
    for pair in 'FileVersion1.0.1.17' 'ProductVersion1.0.1.17' 'CompanyNameKWE Corporation' \
        'OriginalFilenameHallimor_x64.exe'; do
        printf '%s' "$text" | grep -a -q -F "$pair" || fail "version strings lack \"$pair\""
    done
    echo "version resource: 1.0.1.17"
    ;;
manifest)
    types=$(resource_types)
    [ -n "$types" ] || fail "no resource directory found"
    if printf '%s\n' "$types" | grep -qx '0*18'; then
        fail "the exe carries a manifest resource (type 24)"
    fi
    echo "resource types: $(echo $types)"
    ;;
icon)
    types=$(resource_types)
    printf '%s\n' "$types" | grep -qx '0*3' || fail "no icon images (type 3)"
    printf '%s\n' "$types" | grep -qx '0*e' || fail "no icon group (type 14)"
    groups=$(printf '%s\n' "$headers" |
        sed -n '/The .rsrc Resource Directory section/,$p' |
        awk '/^[0-9a-f]+   Entry: ID: /{top=$4} /^[0-9a-f]+     Entry: ID: /{if (top=="0x00000e,") n++} END{print n+0}')
    [ "$groups" -eq 1 ] || fail "expected one icon group, found $groups"
    ;;
subsystem)
    line=$(printf '%s\n' "$headers" | grep -E '^Subsystem[[:space:]]')
    printf '%s\n' "$line" | grep -q '00000002' || fail "not a Windows GUI subsystem program: $line"
    ;;
tsaware)
    line=$(printf '%s\n' "$headers" | grep -E '^DllCharacteristics[[:space:]]')
    value=$(printf '%s\n' "$line" | awk '{print $2}')
    [ -n "$value" ] || fail "no DllCharacteristics field in the optional header"
    [ $(( 0x$value & 0x8000 )) -ne 0 ] || fail "not terminal-server aware: $line"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
echo "PASS: $check"
