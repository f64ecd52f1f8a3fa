#!/usr/bin/env bash
# The uninstall entry closes its loop: Preinstall_cu, run from a folder with
# blanks in its name, writes the entry into the list of installed programs;
# its "UninstallString" is then started the way that list starts it (the
# command line handed unchanged to CreateProcessA, through runexit.exe from
# a batch file), which must run the installer with "Uninstall", and that run
# must take away what the preinstall recorded and remove the devices.
# Environment: as tests/wine/matrix.sh.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=compare_lib.sh
source "$here/compare_lib.sh"

for var in HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_MKDEVICE HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK; do
    [ -n "${!var:-}" ] || { echo "error: $var is not set" >&2; exit 1; }
done
hallimor_wine_check || exit 1
hallimor_wine_environment

mkdir -p "$HALLIMOR_WINE_WORK"
work=$(mktemp -d "$HALLIMOR_WINE_WORK/uninstall-loop.XXXXXX")
prefix=$work/prefix
cleanup() {
    hallimor_wine_stop "$prefix"
    if [ "${HALLIMOR_KEEP_WINE:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

entry='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver'
folder='C:\Program Files\KWE Setup'
host_folder="$prefix/drive_c/Program Files/KWE Setup"
storage='SYSTEM\CURRENTCONTROLSET\ENUM\USB\VID_3E1F&PID_C301\6&1&0&1'

cp -a "$HALLIMOR_WINE_BASE" "$prefix" || exit 1
compare_apply "$prefix" "$here/uninstall_loop.scn" "$HALLIMOR_SAMPLE" "$HALLIMOR_EXE" "$HALLIMOR_MKDEVICE" ||
    { echo "error: cannot lay out the starting state" >&2; exit 1; }
mkdir -p "$host_folder"
cp "$HALLIMOR_EXE" "$host_folder/Hallimor_x64.exe"
cp -r "$HALLIMOR_SAMPLE" "$host_folder/Drivers"
cp "$HALLIMOR_RUNEXIT" "$prefix/drive_c/windows/runexit.exe"

# 1. The preinstall writes the entry.
output=$(hallimor_wine "$prefix" "$HALLIMOR_RUNEXIT" "$folder\\Hallimor_x64.exe" Preinstall_cu 2>&1)
[ "$(hallimor_wine_exit_code "$output")" = 0 ] || fail "Preinstall_cu: $output"
uninstall=$(hallimor_wine "$prefix" reg query "$entry" /v UninstallString 2>/dev/null | tr -d '\r' |
    awk '{ split($0, f, "    ") } f[2] == "UninstallString" { print f[4]; exit }')
echo "UninstallString: $uninstall"
[ -n "$uninstall" ] || fail "no UninstallString after Preinstall_cu"
hallimor_wine_stop "$prefix"
before=$(perl "$here/compare_dump.pl" "$prefix" 0 "$host_folder/Drivers/64bit/WIN7")
grep -qxF "key $storage" <<<"$before" || fail "the storage device is missing before the uninstall"

# 2. The list of installed programs starts the command line as it stands.
printf '@C:\\windows\\runexit.exe %s\r\n' "$uninstall" >"$prefix/drive_c/uninstall.bat"
output=$(hallimor_wine "$prefix" cmd /c 'C:\uninstall.bat' 2>&1)
code=$(hallimor_wine_exit_code "$output")
hallimor_wine_stop "$prefix"
after=$(perl "$here/compare_dump.pl" "$prefix" "${code:-none}" "$host_folder/Drivers/64bit/WIN7")

[ "$code" = 0 ] || fail "the uninstall command exited with [${code:-none}]: $output"
grep -qxF 'record OperateCode: Uninstall\n' <<<"$after" || fail "the uninstall command did not run Uninstall"
grep -qxF 'record Directory : C:\Program Files\KWE Setup\n' <<<"$after" ||
    fail "the uninstall run did not start from the preinstall's folder"
if grep -q '^key SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\KWE USB DRIVER$' <<<"$after"; then
    fail "the uninstall entry is still there"
fi
grep -q '^key SYSTEM\\CURRENTCONTROLSET\\ENUM\\USB\\VID_3E1F' <<<"$after" && fail "vendor devices are still there"
grep -qxF 'key SYSTEM\CURRENTCONTROLSET\ENUM\USB\VID_1B2C&PID_0101\5&77&0&3' <<<"$after" ||
    fail "another maker's device was removed"
grep -qxF 'reg SYSTEM\CURRENTCONTROLSET\SERVICES\USBSTOR|gorvel|REG_DWORD 0x00000000' <<<"$after" ||
    fail "the filter is not switched off"
# The entry's key goes; only the install flag, which Preinstall_cu does not
# write, is missing when Uninstall deletes it.
[ "$(grep -c '^record RegDeleteKey\\n FAILURE' <<<"$after")" = 1 ] ||
    fail "expected exactly one failed key deletion (the install flag that was never written)"

if [ $failures -ne 0 ]; then
    echo "---- after the uninstall ----" >&2
    printf '%s\n' "$after" >&2
    exit 1
fi
echo "PASS: the uninstall entry started Uninstall, which removed the entry and the devices"
