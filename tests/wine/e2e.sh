#!/usr/bin/env bash
# End-to-end tests of Hallimor_x64.exe under Wine. Each case runs the real
# executable in its own copy of a shared Wine prefix and checks its full exit
# code, its install log and what it left in the prefix.
#
# Usage: e2e.sh CASE
# Environment (set by CTest, see cmake/wine_tests.cmake):
#   HALLIMOR_EXE        build/windows/Hallimor_x64.exe
#   HALLIMOR_RUNEXIT    build/windows/runexit.exe
#   HALLIMOR_SAMPLE     the sample Drivers folder
#   HALLIMOR_WINE_BASE  the shared prefix made by make_prefix.sh
#   HALLIMOR_WINE_WORK  where the per-test copies go
#   HALLIMOR_KEEP_WINE  1 keeps each test's prefix for inspection
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
e2e_require_variables HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK
e2e_require_built "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT"
hallimor_wine_check || exit 1
hallimor_wine_environment

BANNER='**************** KWE Driver Install ****************\n\n'
VERSION_LINE='Version    : 1.0.1.17 \n'
FINISH='*************************Finish***********************\n\n'
PACKAGE='C:\Hallimor\Drivers\64bit\'

# The start of every run: banner, version line, operation line, then the
# pieces of the line that describes the running Windows.
expect_run_start() {
    local operation_line=$1
    e2e_expect_record 1 "$BANNER"
    e2e_expect_record 2 "$VERSION_LINE"
    e2e_expect_record 3 "$operation_line"
    e2e_expect_record 4 'OS Version : '
}

# The Windows 7 line that Wine's default version gives a program without a
# manifest.
expect_windows7_line() {
    e2e_expect_record 5 'dwMajorVersion : 6;dwMinorVersion : 1'
    e2e_expect_record 6 'Windows 7 '
    e2e_expect_record 7 'Service Pack 1 (Build 7601)\n'
}

# The sample package lists gorvel.sys and gorvel.inf at the same place, in
# the order in which Windows returns the names.
expect_sample_lists() {
    local folder=$1
    e2e_expect_records_in_order \
        "Directory : C:\\Hallimor\\n" \
        "Search file name: ${folder}*.sys\\n" \
        'Sys file list:\n' '1.gorvel.sys\n' '2.KWETDDiag.sys\n' '3.KWETDSound.sys\n' '4.KWEusbccid.sys\n' \
        '5.KWEusbmdm6k.sys\n' '6.KWEusbnet.sys\n' '7.KWEusbnmea.sys\n' '8.KWEusbser6k.sys\n' '9.ZEFODVBH.sys\n' \
        "Search file name: ${folder}*.inf\\n" \
        'Inf file list:\n' '1.gorvel.inf\n' '2.kweccid.inf\n' '3.kwediag.inf\n' '4.kwemdm.inf\n' \
        '5.kwenet.inf\n' '6.kwenmea.inf\n' '7.kweser.inf\n' '8.kwesnd.inf\n' '9.zefodvbh.inf\n'
}

# Install binds every INF but the filter's, then stores the filter's INF and
# brings the filter into force.
expect_install_flow() {
    e2e_expect_records_in_order \
        'Found KWE Mass Storage Device Driver!\n' \
        'INFO: Preinstalling kweccid.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'Updating usb\vid_3e1f&pid_a101&mi_06\n' 'Updated success!\n' \
        'INFO: Preinstalling kwemdm.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'Updating usb\vid_3e1f&pid_a10a&mi_00\n' 'Updated success!\n' \
        'INFO: Preinstalling kwenmea.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'INFO: Preinstalling kweser.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'INFO: Preinstalling zefodvbh.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'Updating usb\vid_3e1f&pid_d40b\n' 'Updated success!\n' \
        'INFO: Preinstalling gorvel.inf\n' 'SUCCESS: preinstalled driver.\n' \
        'Found KWE Mass Storage Device,Active...\n' \
        "$FINISH"
}

case "$case_name" in

no_package)
    # Nothing beside the exe: the scan fails and the run ends with -1 before
    # anything is removed or installed.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE"
    e2e_run Install
    e2e_expect_exit -1
    e2e_expect_log && {
        expect_run_start 'OperateCode: Install\n'
        expect_windows7_line
        e2e_expect_records_in_order \
            'Directory : C:\Hallimor\n' \
            "Search file name: ${PACKAGE}WIN7\\*.sys\\n"
        e2e_expect_record_matching '^FindFirstFile\(sys\) FAILURE: .+'
        e2e_expect_last_record 'Error:Search sys file 1; inf file 1\n'
        e2e_expect_no_record_matching 'Finish|Remove|Copy|Preinstalling'
        e2e_expect_crlf_lines
    }
    e2e_expect_no_file 'windows/system32/drivers/gorvel.sys'
    ;;

install_sample)
    # The sample package on Windows 7: the whole Install sequence, exit 0.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: Install\n'
        expect_windows7_line
        expect_sample_lists "${PACKAGE}WIN7\\"
        expect_install_flow
        e2e_expect_last_record "$FINISH"
        e2e_expect_crlf_lines
    }
    for f in gorvel.sys KWEusbmdm6k.sys KWEusbnmea.sys KWEusbser6k.sys; do
        e2e_expect_file "windows/system32/drivers/$f"
    done
    for f in gorvel.inf kwemdm.inf kwenmea.inf kweser.inf; do
        e2e_expect_file "windows/inf/$f"
    done
    e2e_expect_reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\USBSTOR' gorvel 'REG_DWORD 0x1'
    e2e_expect_reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\gorvel' DisplayName \
        'REG_SZ KWE Mass Storage Filter Driver'
    e2e_expect_reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\gorvel' ImagePath \
        'REG_SZ system32\drivers\gorvel.sys'
    # Install records neither the install flag nor the uninstall entry.
    e2e_expect_reg_value 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver' \
        UninstallString ''
    ;;

preinstall_cu)
    # Preinstall_cu stores every INF in list order, applies the filter, starts
    # the eject tool and writes the uninstall entry.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    e2e_run Preinstall_cu
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: Preinstall_cu\n'
        expect_sample_lists "${PACKAGE}WIN7\\"
        e2e_expect_records_in_order \
            'Found KWE Mass Storage Device Driver!\n' \
            'INFO: Preinstalling gorvel.inf\n' 'INFO: Preinstalling kwemdm.inf\n' \
            'INFO: Preinstalling kwenmea.inf\n' 'INFO: Preinstalling kweser.inf\n' \
            'Found KWE Mass Storage Device,Active...\n' \
            'Call lantrope.exe...\n' \
            "$FINISH"
        e2e_expect_no_record_matching '^Updating '
        e2e_expect_last_record "$FINISH"
        e2e_expect_crlf_lines
    }
    e2e_expect_file 'windows/inf/gorvel.inf'
    e2e_expect_reg_value 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver' \
        UninstallString 'REG_EXPAND_SZ "C:\Hallimor\Hallimor_x64.exe" Uninstall'
    e2e_expect_reg_value 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver' \
        DisplayIcon 'REG_EXPAND_SZ C:\Hallimor\Hallimor_x64.exe'
    ;;

vista_layout)
    # On Windows Vista the package comes from the VISTA folder.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    hallimor_wine_set_version "$E2E_PREFIX" vista
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: Install\n'
        e2e_expect_record 5 'dwMajorVersion : 6;dwMinorVersion : 0'
        e2e_expect_record 6 'Windows Vista '
        e2e_expect_record 7 'Service Pack 2 (Build 6002)\n'
        expect_sample_lists "${PACKAGE}VISTA\\"
        e2e_expect_last_record "$FINISH"
    }
    e2e_expect_file 'windows/system32/drivers/gorvel.sys'
    ;;

windows8_layout)
    # Windows 8 and later have no OS folder name: the package is searched in
    # the 64bit folder itself, through a doubled backslash.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    hallimor_wine_set_version "$E2E_PREFIX" win8
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: Install\n'
        e2e_expect_record 5 'dwMajorVersion : 6;dwMinorVersion : 2'
        e2e_expect_record 6 ' (Build 9200)\n'
        expect_sample_lists "${PACKAGE}\\"
        expect_install_flow
        e2e_expect_last_record "$FINISH"
    }
    ;;

clean_without_package)
    # Clean needs no package: it never scans one and ends with 0.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE"
    e2e_run Clean
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: Clean\n'
        e2e_expect_no_record_matching '^Search file name|^FindFirstFile\(sys\)|^Error:Search'
        e2e_expect_last_record "$FINISH"
        e2e_expect_crlf_lines
    }
    ;;

unknown_word)
    # A word in another letter case is not recognised: logged as NULL and run
    # as Install.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    e2e_run install
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_run_start 'OperateCode: NULL\n'
        expect_install_flow
    }
    ;;

log_links)
    # Links that an ordinary user can leave at the log's name in the shared
    # temporary folder: a symbolic link and a hard link to a file outside it,
    # then an old log owned by somebody else. The run replaces the name and
    # never writes through it: the other file keeps its bytes and the log is
    # a new regular file with one name.
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE"
    temp=$(find "$E2E_PREFIX/drive_c/windows" -maxdepth 1 -iname temp | head -n 1)
    [ -n "$temp" ] || { mkdir -p "$E2E_PREFIX/drive_c/windows/temp"; temp=$E2E_PREFIX/drive_c/windows/temp; }
    outside=$E2E_PREFIX/drive_c/outside.dat
    for kind in symbolic hard old; do
        printf 'precious bytes\r\n' >"$outside"
        rm -f "$temp"/[Hh]andset[Ii]nstall[Ii]nfo.log
        case $kind in
        symbolic) ln -s "$outside" "$temp/HandsetInstallInfo.log" ;;
        hard) ln "$outside" "$temp/HandsetInstallInfo.log" ;;
        old) printf 'old records\r\n' >"$temp/HandsetInstallInfo.log" ;;
        esac
        e2e_run Clean
        e2e_expect_exit 0
        [ "$(cat "$outside")" = "$(printf 'precious bytes\r\n')" ] ||
            e2e_fail "$kind link: the file outside the temporary folder was changed"
        if [ -L "$E2E_LOG" ] || [ "$(stat -c %h "$E2E_LOG" 2>/dev/null)" != 1 ]; then
            e2e_fail "$kind: the log is not a regular file with one name"
        fi
        e2e_expect_log && {
            expect_run_start 'OperateCode: Clean\n'
            e2e_expect_last_record "$FINISH"
            e2e_expect_no_record_matching 'old records|precious'
            e2e_expect_crlf_lines
        }
        leftovers=$(find "$temp" -maxdepth 1 -name '~*.tmp' | wc -l)
        [ "$leftovers" -eq 0 ] || e2e_fail "$kind: $leftovers temporary log file(s) left in the temporary folder"
    done
    ;;

*)
    echo "error: unknown case $case_name" >&2
    exit 2
    ;;
esac

e2e_finish
