#!/usr/bin/env bash
# End-to-end tests of HallimorCheck_x64.exe machine under Wine: the installer
# runs on the sample package, then the check, beside it, must report each
# item of the package as found or missing and exit 0, 1 or 2. The expected
# items are derived from the package's own files.
#
# Usage: e2e_machine.sh CASE
# Environment: as for e2e.sh, and
#   HALLIMOR_CHECK_EXE  build/windows/HallimorCheck_x64.exe
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
e2e_require_variables HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_CHECK_EXE HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK
e2e_require_built "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT" "$HALLIMOR_CHECK_EXE"
hallimor_wine_check || exit 1
hallimor_wine_environment

WIN7_DIR="$HALLIMOR_SAMPLE/64bit/WIN7"
CHECK_EXE='C:\Hallimor\HallimorCheck_x64.exe'

# The package's files with one extension, in the order in which Windows
# lists them (by upper-cased name), as the check reports them.
package_files() {
    perl -e '
        my ($dir, $ext) = @ARGV;
        opendir(my $dh, $dir) or die "cannot list $dir\n";
        my @names = grep { -f "$dir/$_" && /\.\Q$ext\E$/i } readdir $dh;
        print "$_\n" for sort { uc($a) cmp uc($b) } @names;
    ' "$1" "$2"
}

# SYS_FILES, INF_FILES and FILTER (1 when the install flows find gorvel.sys
# at an index that their INF loop reaches, so that the service is checked).
read_package() {
    mapfile -t SYS_FILES < <(package_files "$WIN7_DIR" sys)
    mapfile -t INF_FILES < <(package_files "$WIN7_DIR" inf)
    [ ${#SYS_FILES[@]} -gt 0 ] && [ ${#INF_FILES[@]} -gt 0 ] || {
        echo "error: $WIN7_DIR holds no .sys or no .inf file" >&2
        exit 1
    }
    FILTER=0
    local i
    for ((i = 0; i < ${#INF_FILES[@]} && i < ${#SYS_FILES[@]}; i++)); do
        [ "${SYS_FILES[$i]}" = gorvel.sys ] && FILTER=1 && break
    done
}

start_case() {
    e2e_new_prefix "$case_name"
    WINEPREFIX=$E2E_PREFIX "$HALLIMOR_WINE_DIR/wineserver" -p </dev/null >/dev/null 2>&1
    hallimor_wine "$E2E_PREFIX" reg query 'HKLM\Software\Wine' </dev/null >/dev/null 2>&1
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "${1-$HALLIMOR_SAMPLE}"
    cp "$HALLIMOR_CHECK_EXE" "$E2E_PREFIX/drive_c/Hallimor/HallimorCheck_x64.exe"
    read_package
}

# run_check PROGRAM ARGS...: the check's report (CHECK_OUT, carriage returns
# dropped, without runexit's lines), its error stream (CHECK_ERR) and its
# full exit code (CHECK_EXIT).
run_check() {
    run_check_verb machine "$@"
}

# run_check_verb VERB PROGRAM ARGS...: as run_check, for any verb.
run_check_verb() {
    local verb=$1 program=$2 output errfile
    shift 2
    errfile=$(mktemp)
    output=$(hallimor_wine "$E2E_PREFIX" "$HALLIMOR_RUNEXIT" "$program" "$verb" "$@" 2>"$errfile" | tr -d '\r')
    CHECK_ERR=$(tr -d '\r' <"$errfile")
    rm -f "$errfile"
    CHECK_EXIT=$(hallimor_wine_exit_code "$output")
    CHECK_OUT=$(printf '%s\n' "$output" | grep -v -E '^exit(_hex)?=')
    e2e_note "check: $program $verb $* -> exit=${CHECK_EXIT:-none}"
    [ -n "$CHECK_EXIT" ] || {
        printf '%s\n%s\n' "$output" "$CHECK_ERR" >&2
        echo "error: runexit.exe reported no exit code" >&2
        exit 1
    }
}

expect_check_exit() {
    if [ "$CHECK_EXIT" != "$1" ]; then
        e2e_fail "check exit code $CHECK_EXIT, expected $1"
        printf '%s\n%s\n' "$CHECK_OUT" "$CHECK_ERR" >&2
    fi
}

# The item lines of the report, each its word, kind and name.
check_items() {
    printf '%s\n' "$CHECK_OUT" | perl -ne 'print "$1\n" if /^((?:found|missing|unknown) +\S+(?: \S+)*  \S+(?: \S+)*?)(?:  |$)/'
}

# Every package item as the check names it after a complete install, with
# the word found; ITEMS holds them in report order.
all_found_items() {
    local name
    ITEMS=()
    for name in "${SYS_FILES[@]}"; do
        ITEMS+=("found    driver file  $name")
    done
    for name in "${INF_FILES[@]}"; do
        ITEMS+=("found    driver store  $name")
    done
    [ "$FILTER" = 1 ] && ITEMS+=("found    service  gorvel")
}

# expect_items: the report's item lines are exactly ITEMS, in order.
expect_items() {
    local want got
    want=$(printf '%s\n' "${ITEMS[@]}")
    got=$(check_items)
    if [ "$got" != "$want" ]; then
        e2e_fail "the check's items differ from the expected ones"
        diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") | sed 's/^/  /' >&2
    fi
}

# expect_report_line TEXT: some line of the report is exactly TEXT.
expect_report_line() {
    printf '%s\n' "$CHECK_OUT" | grep -q -F -x -- "$1" || e2e_fail "no report line [$1]"
}

# replace_item OLD NEW: the item OLD of ITEMS becomes NEW.
replace_item() {
    local i
    for i in "${!ITEMS[@]}"; do
        [ "${ITEMS[$i]}" = "$1" ] && ITEMS[$i]=$2
    done
}

case "$case_name" in

machine_after_install)
    # Install: every driver file, every INF and the filter service found,
    # by the check beside the package and by one started elsewhere with the
    # installer's folder as its argument.
    start_case
    e2e_run Install
    e2e_expect_exit 0
    run_check "$CHECK_EXE"
    expect_check_exit 0
    all_found_items
    expect_items
    expect_report_line 'package  C:\Hallimor\Drivers\64bit\WIN7\  ('"${#SYS_FILES[@]}"' driver files, '"${#INF_FILES[@]}"' INFs)'
    expect_report_line "machine: all ${#ITEMS[@]} items found"
    [ -z "$CHECK_ERR" ] || e2e_fail "error stream not empty: $CHECK_ERR"
    mkdir -p "$E2E_PREFIX/drive_c/Tools"
    cp "$HALLIMOR_CHECK_EXE" "$E2E_PREFIX/drive_c/Tools/HallimorCheck_x64.exe"
    run_check 'C:\Tools\HallimorCheck_x64.exe' 'C:\Hallimor\'
    expect_check_exit 0
    expect_items
    # Install writes no install records: with --records the check says so.
    run_check "$CHECK_EXE" --records
    expect_check_exit 1
    ITEMS+=("missing  records  install records")
    expect_items
    ;;

machine_after_preinstall_cu)
    # Preinstall_cu: everything found, the uninstall entry among it; after
    # Uninstall the driver files and the entry are gone.
    start_case
    e2e_run Preinstall_cu
    e2e_expect_exit 0
    run_check "$CHECK_EXE" --records
    expect_check_exit 0
    all_found_items
    ITEMS+=("found    records  install records")
    expect_items
    expect_report_line 'found    records  install records  uninstall entry SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver with DisplayVersion 1.0.1.14'
    # Uninstall, the entry's own command: before it removes the devices, it
    # deletes the package's driver files as superseded, and it takes the
    # entry away, so that a detection by the check no longer finds the app.
    e2e_run Uninstall
    e2e_expect_exit 0
    run_check "$CHECK_EXE" --records
    expect_check_exit 1
    for name in "${SYS_FILES[@]}"; do
        expect_report_line "missing  driver file  $name  C:\\windows\\system32\\drivers\\$name does not exist"
    done
    expect_report_line 'missing  records  install records  neither the install flag nor the uninstall entry with DisplayVersion 1.0.1.14'
    ;;

machine_after_clean)
    # Clean after Preinstall_cu: the vendor's driver files and services are
    # gone, the filter driver's own file is not among the files Clean
    # deletes, and Clean deletes only oemN.inf copies from the INF folder,
    # while Wine stores each INF under its own name: those stay found here
    # (on Windows they are oemN.inf and go). The records stay.
    start_case
    e2e_run Preinstall_cu
    e2e_expect_exit 0
    e2e_run Clean
    e2e_expect_exit 0
    run_check "$CHECK_EXE" --records
    expect_check_exit 1
    all_found_items
    ITEMS+=("found    records  install records")
    for name in "${SYS_FILES[@]}"; do
        [ "$name" = gorvel.sys ] && continue
        replace_item "found    driver file  $name" "missing  driver file  $name"
        expect_report_line "missing  driver file  $name  C:\\windows\\system32\\drivers\\$name does not exist"
    done
    if [ "$FILTER" = 1 ]; then
        replace_item "found    service  gorvel" "missing  service  gorvel"
        expect_report_line "missing  service  gorvel  does not exist"
    fi
    expect_items
    ;;

machine_driver_not_replaced)
    # A folder stands at the name of the last driver file in system32\drivers:
    # Install copies the files before it, cannot copy that one and still
    # exits 0; a failed staging leaves every INF out of the store and the
    # filter out of force. The check names each of them.
    start_case
    blocked=${SYS_FILES[${#SYS_FILES[@]} - 1]}
    mkdir -p "$E2E_PREFIX/drive_c/windows/system32/drivers/$blocked"
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && e2e_expect_record_matching '^Copy sys file fail'
    run_check "$CHECK_EXE"
    expect_check_exit 1
    all_found_items
    ITEMS=("${ITEMS[@]/#found    driver store/missing  driver store}")
    ITEMS=("${ITEMS[@]/#found    service/missing  service}")
    replace_item "found    driver file  $blocked" "missing  driver file  $blocked"
    expect_items
    expect_report_line "missing  driver file  $blocked  C:\\windows\\system32\\drivers\\$blocked is a folder"
    missing=$((${#INF_FILES[@]} + FILTER + 1))
    expect_report_line "machine: $missing of ${#ITEMS[@]} items missing"
    ;;

machine_no_package)
    # No package beside the check: it cannot tell, says why and reports
    # no item.
    start_case ''
    run_check "$CHECK_EXE" --records
    expect_check_exit 2
    [ -z "$(check_items)" ] || e2e_fail "items reported without a package"
    case "$CHECK_ERR" in
    'hallimor-check machine: cannot tell: no driver package that the installer would take in C:\Hallimor\Drivers\64bit\WIN7\ '*) ;;
    *) e2e_fail "error stream [$CHECK_ERR] does not name the missing package" ;;
    esac
    ;;

machine_wrapper_without_devices)
    # The guide's install.cmd and uninstall.cmd, taken from
    # docs/deployment.md, under Wine's cmd.exe from an engine's cache folder.
    # No device of the vendor is present, so nothing waits for a restart:
    # the wrapper passes on the check's 0. The log's copy lies where Intune's
    # device diagnostics collect it; after uninstall.cmd the label's check
    # finds the package's items gone.
    start_case
    cache="$E2E_PREFIX/drive_c/cache"
    mkdir -p "$cache"
    cp -r "$E2E_PREFIX/drive_c/Hallimor/." "$cache/"
    for script in install.cmd uninstall.cmd; do
        perl -e '
            my ($name, $doc) = @ARGV; local $/; open(my $fh, "<", $doc) or die; my $text = <$fh>;
            $text =~ /```bat\n(\@echo off\nrem \Q$name\E:.*?)```/s or exit 1;
            (my $block = $1) =~ s/\n/\r\n/g; print $block;
        ' "$script" "$here/../../docs/deployment.md" >"$cache/$script" || e2e_fail "no $script in docs/deployment.md"
    done
    run_check_verb /c cmd.exe 'C:\cache\install.cmd'
    expect_check_exit 0
    expect_report_line 'package  C:\Program Files\KWE\Hallimor\2024.06\Drivers\64bit\WIN7\  ('"${#SYS_FILES[@]}"' driver files, '"${#INF_FILES[@]}"' INFs)'
    all_found_items
    ITEMS+=("found    records  install records")
    expect_items
    expect_report_line "machine: all ${#ITEMS[@]} items found, no device waits for a restart"
    E2E_LOG=$(hallimor_wine_log_file "$E2E_PREFIX")
    copies=("$E2E_PREFIX"/drive_c/windows/temp/*-hallimor.log)
    cmp -s "${copies[0]}" "$E2E_LOG" || e2e_fail "no copy of the log as %windir%\\Temp\\%COMPUTERNAME%-hallimor.log"
    run_check_verb /c cmd.exe 'C:\cache\uninstall.cmd'
    expect_check_exit 0
    run_check 'C:\Program Files\KWE\Hallimor\2024.06\HallimorCheck_x64.exe' --records
    expect_check_exit 1
    ;;

package_check_sample)
    # The package checker on the release engineer's Windows desk: the sample
    # package beside the installer gives no error (the test signer's warning
    # for each of its 36 catalogs); a leftover that the *.sys search lists
    # through its short name is an error naming the file.
    start_case
    run_check_verb package "$CHECK_EXE" 'C:\Hallimor'
    expect_check_exit 0
    for line in 'Drivers\64bit\WIN7\ holds a package, read by Windows 7 / Server 2008 R2' \
        'Drivers\64bit\WNET\ holds a package, read by Windows 2000, Windows XP, Windows XP x64 / Server 2003' \
        '0 errors, 36 warnings'; do
        printf '%s\n' "$CHECK_OUT" | grep -qxF -- "$line" || e2e_fail "report lacks the line [$line]"
    done
    win7=$(find "$E2E_PREFIX/drive_c/Hallimor" -ipath '*/drivers/64bit/win7' -type d | head -n 1)
    cp "$win7/KWEusbnet.sys" "$win7/KWEusbnet.sys_old"
    run_check_verb package "$CHECK_EXE" 'C:\Hallimor' --json
    expect_check_exit 1
    printf '%s\n' "$CHECK_OUT" | grep -qF '"layout": "Drivers\\64bit\\WIN7\\", "file": "KWEusbnet.sys_old", "severity": "error", "code": "SHORT_NAME_MATCH"' ||
        e2e_fail "no short-name finding for KWEusbnet.sys_old: $CHECK_OUT"
    ;;

package_check_signatures)
    # The catalog checks of the Windows build: the signed sample gives only
    # the test signer's warning, one per catalog (exit 0); an INF edited after
    # signing gives CATALOG_HASH_MISSING naming it (exit 1). The host build
    # reports the same findings and catalogs on the same folder.
    start_case
    [ -x "${HALLIMOR_CHECK_HOST:-}" ] || { echo "error: HALLIMOR_CHECK_HOST is not the host build's hallimor-check" >&2; exit 1; }
    setup="$E2E_PREFIX/drive_c/Hallimor"
    win7=$(find "$setup" -ipath '*/drivers/64bit/win7' -type d | head -n 1)
    catalogs=$(find "$setup/Drivers" -iname '*.cat' | wc -l)
    for step in signed edited; do
        if [ "$step" = edited ]; then
            printf '; edited after signing\r\n' >>"$win7/kwenet.inf"
        fi
        run_check_verb package "$CHECK_EXE" 'C:\Hallimor' --json
        expect_check_exit "$([ "$step" = signed ] && echo 0 || echo 1)"
        host=$("$HALLIMOR_CHECK_HOST" package "$setup" --json | sed '1s/^.*"findings"/"findings"/')
        [ "$(printf '%s\n' "$CHECK_OUT" | sed '1s/^.*"findings"/"findings"/')" = "$host" ] ||
            e2e_fail "$step: the builds disagree: $CHECK_OUT --- $host"
        warnings=$(printf '%s\n' "$CHECK_OUT" | grep -c '"severity": "warning", "code": "SIGNER_NOT_MICROSOFT"')
        [ "$warnings" = "$catalogs" ] || e2e_fail "$step: $warnings signer warnings for $catalogs catalogs"
    done
    printf '%s\n' "$CHECK_OUT" | grep -qF '"layout": "Drivers\\64bit\\WIN7\\", "file": "kwenet.inf", "severity": "error", "code": "CATALOG_HASH_MISSING"' ||
        e2e_fail "no CATALOG_HASH_MISSING for the edited kwenet.inf: $CHECK_OUT"
    [ "$(printf '%s\n' "$CHECK_OUT" | grep -c '"severity": "error"')" = 1 ] || e2e_fail "more errors than the edited INF's: $CHECK_OUT"
    ;;

*)
    echo "error: unknown case $case_name" >&2
    exit 2
    ;;
esac

e2e_finish
