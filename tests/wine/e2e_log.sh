#!/usr/bin/env bash
# hallimor-check log on logs that real runs of the installer write under
# Wine: the verdict (exit code), the step and the file it names.
#
# Usage: e2e_log.sh CASE
# Environment: as e2e.sh, and HALLIMOR_CHECK_HOST (build/host/hallimor-check).
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
e2e_require_variables HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK HALLIMOR_CHECK_HOST
e2e_require_built "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT"
[ -x "$HALLIMOR_CHECK_HOST" ] || {
    echo "error: $HALLIMOR_CHECK_HOST does not exist: build the host preset first" >&2
    exit 1
}
hallimor_wine_check || exit 1
hallimor_wine_environment

# check_log FILE: the verdict's report (VERDICT_OUT) and exit code (VERDICT).
check_log() {
    VERDICT_OUT=$("$HALLIMOR_CHECK_HOST" log "$@" 2>&1)
    VERDICT=$?
    e2e_note "hallimor-check log -> $VERDICT"
}

expect_verdict() {
    if [ "$VERDICT" != "$1" ]; then
        e2e_fail "verdict $VERDICT, expected $1"
        printf '%s\n' "$VERDICT_OUT" >&2
    fi
}

expect_report() {
    printf '%s\n' "$VERDICT_OUT" | grep -qF -- "$1" || {
        e2e_fail "the report lacks [$1]"
        printf '%s\n' "$VERDICT_OUT" >&2
    }
}

e2e_new_prefix "$case_name"
case "$case_name" in

log_install_sample)
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    e2e_run Install
    e2e_expect_exit 0
    check_log "$E2E_LOG"
    expect_verdict 0
    expect_report ': clean'
    expect_report '  operation: Install'
    expect_report '  start sequence: passed'
    expect_report '  closing line: reached'
    printf '%s\n' "$VERDICT_OUT" | grep -q '^  real:' && e2e_fail "a real failure in a sound Install: $VERDICT_OUT"
    # A cut in the middle of the records: the run was killed.
    half=$(($(wc -c <"$E2E_LOG") / 2))
    head -c "$half" "$E2E_LOG" >"$E2E_PREFIX/cut.log"
    check_log "$E2E_PREFIX/cut.log"
    expect_verdict 2
    expect_report 'cut short: the closing line is missing'
    ;;

log_uninstall_bare)
    # Uninstall on a machine that holds nothing of the vendor: only the
    # failures that a sound machine writes.
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    e2e_run Uninstall
    e2e_expect_exit 0
    check_log "$E2E_LOG"
    expect_verdict 0
    expect_report '  operation: Uninstall'
    expect_report 'expected: Remove sysfile  FAILURE: File not found.\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file gorvel.sys]'
    printf '%s\n' "$VERDICT_OUT" | grep -q '^  real:' && e2e_fail "a real failure in a bare Uninstall: $VERDICT_OUT"
    ;;

log_no_package)
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE"
    e2e_run Install
    e2e_expect_exit -1
    check_log "$E2E_LOG"
    expect_verdict 2
    expect_report 'the run did not get through its start sequence (exit -1)'
    expect_report '  start sequence: ended the run with -1: FindFirstFile(sys) FAILURE: '
    ;;

log_driver_not_replaced)
    # A folder at a package driver file's name in system32\drivers: the copy
    # fails, the run still exits 0, and the verdict names the step and file.
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    mkdir -p "$E2E_PREFIX/drive_c/windows/system32/drivers/ZEFODVBH.sys"
    e2e_run Install
    e2e_expect_exit 0
    check_log "$E2E_LOG"
    expect_verdict 1
    expect_report ': real failures'
    expect_report '  real: Copy SYS file to system folder\n FAILURE: '
    expect_report '[file ZEFODVBH.sys]'
    expect_report '  real: Copy sys file fail\n [file ZEFODVBH.sys]'
    ;;

log_driver_store_others)
    # A driver store with other products' INFs (no [Manufacturer], models
    # only under a decorated name, no Provider) and a superseded copy of a
    # package INF without its PNF file: what a sound machine writes, in
    # Install's removal and in Clean's purge.
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    inf=$E2E_PREFIX/drive_c/windows/inf
    printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Other\r\nProvider=Other Corp\r\n' >"$inf/oem1.inf"
    printf '%s\r\n' '[Version]' 'Signature="$Windows NT$"' 'Provider=Other Corp' '[Manufacturer]' \
        'Other=Models,NTamd64' '[Models.NTamd64]' 'Dev=Inst,USB\VID_1234&PID_0001' >"$inf/oem2.inf"
    printf '[Version]\r\nSignature="$Windows NT$"\r\n' >"$inf/oem4.inf"
    cp "$HALLIMOR_SAMPLE/64bit/WIN7/gorvel.inf" "$inf/oem3.inf"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_no_file windows/inf/oem3.inf
    check_log "$E2E_LOG"
    expect_verdict 0
    expect_report 'expected: SetupFindFirstLine ->[Manufacturer]  FAILURE: (0xe0000102) [error 3758096642 (0xe0000102, ERROR_LINE_NOT_FOUND)] [a driver-store INF'
    expect_report 'expected: SetupFindFirstLine -> [Model]  FAILURE: (0xe0000102)'
    expect_report 'expected: Remove:  FAILURE: File not found.\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file C:\windows\inf\oem3.PNF]'
    e2e_run Clean
    e2e_expect_exit 0
    check_log "$E2E_LOG"
    expect_verdict 0
    expect_report 'expected: error: C:\windows\inf\oem4.inf does not contain any device descriptions\n'
    expect_report "expected: Can't open KWEusbnet service!\n [error 1060 (0x00000424, ERROR_SERVICE_DOES_NOT_EXIST)] [service KWEusbnet]"
    expect_report 'expected: Error: FAILURE: File not found.\n [error 2 (0x00000002, ERROR_FILE_NOT_FOUND)] [file C:\windows\system32\drivers\KWETDModem.sys]'
    ;;

*)
    echo "error: unknown case $case_name" >&2
    exit 2
    ;;
esac

e2e_finish
