#!/usr/bin/env bash
# The log verdict on logs of real runs: each case runs Hallimor_x64.exe under
# Wine as e2e.sh does, then the host-built hallimor-check log on the install
# log that the run left, and checks its exit code and report.
#
# Usage: e2e_log.sh CASE
# Environment: as for e2e.sh, and
#   HALLIMOR_CHECK_HOST  build/host/hallimor-check
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
for var in HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK HALLIMOR_CHECK_HOST; do
    [ -n "${!var:-}" ] || {
        echo "error: $var is not set" >&2
        exit 1
    }
done
for file in "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT" "$HALLIMOR_CHECK_HOST"; do
    [ -f "$file" ] || {
        echo "error: $file does not exist: build the windows and host presets first" >&2
        exit 1
    }
done
hallimor_wine_check || exit 1
hallimor_wine_environment

CHECK_OUTPUT=
CHECK_EXIT=

# check_log FILE [OPTIONS...]: runs the verdict; sets CHECK_OUTPUT and CHECK_EXIT.
check_log() {
    local file=$1
    shift
    CHECK_OUTPUT=$("$HALLIMOR_CHECK_HOST" log "$@" "$file" 2>&1)
    CHECK_EXIT=$?
    e2e_note "hallimor-check log $* -> exit=$CHECK_EXIT"
}

expect_check_exit() {
    [ "$CHECK_EXIT" = "$1" ] || e2e_fail "hallimor-check log exit code $CHECK_EXIT, expected $1"
}

# expect_report_line TEXT: the report holds a line that is exactly TEXT.
expect_report_line() {
    printf '%s\n' "$CHECK_OUTPUT" | grep -F -x -q -- "$1" || e2e_fail "report line [$1] missing"
}

expect_no_report_line_matching() {
    local hit
    hit=$(printf '%s\n' "$CHECK_OUTPUT" | grep -E -m 1 -- "$1")
    [ -z "$hit" ] || e2e_fail "unexpected report line [$hit]"
}

show_report() {
    echo "---- hallimor-check log ----"
    printf '%s\n' "$CHECK_OUTPUT"
    echo "----------------------------"
}

start_run() {
    e2e_new_prefix "$case_name"
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$@"
}

case "$case_name" in

log_install_sample)
    # Install of the sample package: only the removal steps' expected
    # failures; verdict 0. The JSON document says the same.
    start_run "$HALLIMOR_SAMPLE"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        check_log "$E2E_LOG"
        expect_check_exit 0
        expect_report_line '  operation:       Install (OperateCode: Install)'
        expect_report_line '  windows:         OS Version : dwMajorVersion : 6;dwMinorVersion : 1Windows 7 Service Pack 1 (Build 7601)'
        expect_report_line '  start sequence:  through'
        expect_report_line '  closing line:    reached'
        expect_report_line '      step "Remove Dllfile ", error 2 ERROR_FILE_NOT_FOUND (0x00000002), brommet.dll (system32)'
        expect_no_report_line_matching '^  record [0-9]+ real'
        check_log "$E2E_LOG" --json
        expect_check_exit 0
        printf '%s' "$CHECK_OUTPUT" | perl -MJSON::PP -e '
            local $/; my $d = decode_json(<STDIN>);
            my $l = $d->{logs}[0];
            exit !($d->{exit} == 0 && $l->{verdict} == 0 && $l->{closing_line} && $l->{real_failures} == 0
                   && $l->{operation} eq "Install");
        ' || e2e_fail "the JSON document does not give verdict 0 for the Install log"
    }
    ;;

log_uninstall_bare)
    # Uninstall where nothing was installed: the deletions of records and
    # values that were never written are expected; verdict 0.
    start_run "$HALLIMOR_SAMPLE"
    e2e_run Uninstall
    e2e_expect_exit 0
    e2e_expect_log && {
        check_log "$E2E_LOG"
        expect_check_exit 0
        expect_report_line '  operation:       Uninstall (OperateCode: Uninstall)'
        expect_report_line '      step "RegDeleteKey\n", error 2 ERROR_FILE_NOT_FOUND (0x00000002), the uninstall entry (HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver)'
        printf '%s\n' "$CHECK_OUTPUT" | grep -E -q '^  record [0-9]+ expected: Error: Open Custome Key-- SYSTEM\\CurrentControlSet\\Services\\KWEusbmdm6k -- Failed\\n$' ||
            e2e_fail "the missing service key is not reported as expected"
        expect_no_report_line_matching '^  record [0-9]+ real'
    }
    ;;

log_no_package)
    # No package beside the program: the run ends with -1 after the scan;
    # verdict 2, naming the failure record that ended it.
    start_run
    e2e_run Install
    e2e_expect_exit -1
    e2e_expect_log && {
        check_log "$E2E_LOG"
        expect_check_exit 2
        expect_report_line '  start sequence:  failed, the run ended with -1 after record 10: FindFirstFile(sys) FAILURE: Path not found.'
        expect_report_line '  closing line:    missing'
        expect_report_line '      step "FindFirstFile(sys)", error 3 ERROR_PATH_NOT_FOUND (0x00000003), C:\Hallimor\Drivers\64bit\WIN7\*.sys'
    }
    ;;

log_driver_not_replaceable)
    # A folder where the system drivers folder should hold KWEusbmdm6k.sys:
    # its old copy cannot be removed nor the new one copied; verdict 1,
    # naming the step and the file.
    start_run "$HALLIMOR_SAMPLE"
    mkdir -p "$E2E_PREFIX/drive_c/windows/system32/drivers/KWEusbmdm6k.sys"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        check_log "$E2E_LOG"
        expect_check_exit 1
        expect_report_line '  closing line:    reached'
        expect_report_line '      step "Copy SYS file to system folder\n", error 5 ERROR_ACCESS_DENIED (0x00000005), C:\windows\system32\drivers\KWEusbmdm6k.sys'
        expect_report_line '      step "Remove sysfile ", error 5 ERROR_ACCESS_DENIED (0x00000005), KWEusbmdm6k.sys (system drivers folder)'
        expect_report_line '      text "Copy sys file fail\n", C:\windows\system32\drivers\KWEusbmdm6k.sys'
        printf '%s\n' "$CHECK_OUTPUT" | grep -E -q '^  record [0-9]+ real: Copy SYS file to system folder\\n FAILURE: Access denied\.\\n$' ||
            e2e_fail "the failed copy is not reported as real"
        check_log "$E2E_LOG" --summary
        expect_check_exit 1
        printf '%s\n' "$CHECK_OUTPUT" | grep -E -q '^ +1 +1  step "Copy SYS file to system folder\\n"  5 ERROR_ACCESS_DENIED \(0x00000005\)$' ||
            e2e_fail "the summary does not count the failed copy"
    }
    ;;

log_cut)
    # A log cut in the middle, as a run stopped before its last buffer was
    # written leaves it: verdict 2, cut short.
    start_run "$HALLIMOR_SAMPLE"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        cut=$E2E_PREFIX/cut.log
        size=$(stat -c %s "$E2E_LOG")
        head -c $((size / 2)) "$E2E_LOG" >"$cut"
        check_log "$cut"
        expect_check_exit 2
        expect_report_line '  closing line:    missing'
        printf '%s\n' "$CHECK_OUTPUT" | head -n 1 | grep -E -q ': verdict 2 \(cut short\): the log ends at record [0-9]+ without its closing line' ||
            e2e_fail "the cut log is not reported as cut short"
        # The whole log beside it: the worst verdict is the exit code.
        check_log "$cut" "$E2E_LOG"
        expect_check_exit 2
    }
    ;;

*)
    echo "error: unknown case $case_name" >&2
    exit 2
    ;;
esac

if [ "$E2E_FAILURES" -ne 0 ]; then
    show_report
fi
e2e_finish
