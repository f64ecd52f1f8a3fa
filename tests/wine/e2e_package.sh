#!/usr/bin/env bash
# End-to-end tests under Wine that check what the installer leaves in the
# system: driver files, the driver store, services, registry records and
# devices. Expectations about the package (its file lists, the order of the
# install records, hardware IDs) are derived from the package's own files,
# so that the cases hold for whatever package lies in the sample folder.
# Devices and services are prepared with mkdevice.exe.
#
# Usage: e2e_package.sh CASE
# Environment: as for e2e.sh, and
#   HALLIMOR_MKDEVICE   build/windows/mkdevice.exe
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
e2e_require_variables HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_MKDEVICE HALLIMOR_SAMPLE HALLIMOR_WINE_BASE HALLIMOR_WINE_WORK
e2e_require_built "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT" "$HALLIMOR_MKDEVICE"
hallimor_wine_check || exit 1
hallimor_wine_environment

FINISH='*************************Finish***********************\n\n'
PACKAGE='C:\Hallimor\Drivers\64bit\'
INF_MODELS="$here/inf_models.pl"
# The Windows 7 folder of the package, as the host sees it.
WIN7_DIR="$HALLIMOR_SAMPLE/64bit/WIN7"
UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\KWE USB Driver'
USBSTOR_KEY='HKLM\SYSTEM\CurrentControlSet\Services\USBSTOR'
SERVICES_KEY='HKLM\SYSTEM\CurrentControlSet\Services'
ENUM_KEY='HKLM\SYSTEM\CurrentControlSet\Enum'
FLAG_KEYS=('HKLM\SOFTWARE\Wow6432Node\KWEUSBDriverFlag' 'HKLM\SOFTWARE\KWEUSBDriverFlag')

# ---- the package --------------------------------------------------------

# package_files DIR EXT: the package's files with that extension, in the
# order in which Windows returns them (by upper-cased name).
package_files() {
    perl -e '
        my ($dir, $ext) = @ARGV;
        opendir(my $dh, $dir) or die "cannot list $dir\n";
        my @names = grep { -f "$dir/$_" && /\.\Q$ext\E$/i } readdir $dh;
        print "$_\n" for sort { uc($a) cmp uc($b) } @names;
    ' "$1" "$2"
}

# The records that walking one package INF's models writes under Install.
model_records() {
    local inf_name=$1 line
    while IFS= read -r line; do
        case "$line" in
        '!skip') RECORDS+=('Error: Skipping invalid description\n') ;;
        '!no-manufacturer') RECORDS+=('Error:does not contain any device descriptions\n') ;;
        '!no-field') RECORDS+=('Error: skipping invalid description [Manufacturer]\n') ;;
        '!no-models '*) RECORDS+=("Error: $inf_name does not contain any device descriptions [${line#!no-models }]\\n") ;;
        *)
            RECORDS+=("Updating $(printf '%s' "$line" | tr 'A-Z' 'a-z')\\n" 'Updated success!\n')
            ;;
        esac
    done < <(perl "$INF_MODELS" models "$WIN7_DIR/$inf_name")
}

# Reads the package's lists into SYS_FILES and INF_FILES and the index of the
# filter driver (the first "gorvel.sys" at an index below the INF count)
# into FILTER_INDEX (-1 without it).
read_package() {
    mapfile -t SYS_FILES < <(package_files "$WIN7_DIR" sys)
    mapfile -t INF_FILES < <(package_files "$WIN7_DIR" inf)
    [ ${#SYS_FILES[@]} -gt 0 ] && [ ${#INF_FILES[@]} -gt 0 ] || {
        echo "error: $WIN7_DIR holds no .sys or no .inf file" >&2
        exit 1
    }
    FILTER_INDEX=-1
    local i
    for ((i = 0; i < ${#INF_FILES[@]} && i < ${#SYS_FILES[@]}; i++)); do
        if [ "${SYS_FILES[$i]}" = gorvel.sys ]; then
            FILTER_INDEX=$i
            break
        fi
    done
}

# The records of the package scan: both lists, numbered from 1.
expect_package_lists() {
    local i
    RECORDS=("Search file name: ${PACKAGE}WIN7\\*.sys\\n" 'Sys file list:\n')
    for i in "${!SYS_FILES[@]}"; do
        RECORDS+=("$((i + 1)).${SYS_FILES[$i]}\\n")
    done
    RECORDS+=("Search file name: ${PACKAGE}WIN7\\*.inf\\n" 'Inf file list:\n')
    for i in "${!INF_FILES[@]}"; do
        RECORDS+=("$((i + 1)).${INF_FILES[$i]}\\n")
    done
    e2e_expect_records_in_order "${RECORDS[@]}"
}

# The copy records of the driver files, in list order.
copy_records() {
    local name
    for name in "${SYS_FILES[@]}"; do
        RECORDS+=("Copy ${PACKAGE}WIN7\\${name} to C:\\windows\\system32\\drivers\\${name}\\n")
    done
}

# Install: every INF but the filter's preinstalled and bound in list order,
# the filter's INF stored last, then the filter brought into force.
expect_install_records() {
    local i
    RECORDS=()
    copy_records
    for i in "${!INF_FILES[@]}"; do
        if [ "$i" -eq "$FILTER_INDEX" ]; then
            RECORDS+=('Found KWE Mass Storage Device Driver!\n')
            continue
        fi
        RECORDS+=("INFO: Preinstalling ${INF_FILES[$i]}\\n" 'SUCCESS: preinstalled driver.\n')
        model_records "${INF_FILES[$i]}"
    done
    if [ "$FILTER_INDEX" -ge 0 ]; then
        RECORDS+=("INFO: Preinstalling ${INF_FILES[$FILTER_INDEX]}\\n" 'SUCCESS: preinstalled driver.\n'
            'Found KWE Mass Storage Device,Active...\n' 'Set the gorvel value success!\n')
    fi
    RECORDS+=("$FINISH")
    e2e_expect_records_in_order "${RECORDS[@]}"
    # Nothing bound or stored beyond that: the filter's INF is not bound and
    # no INF is stored twice.
    expect_matching_count '^Updating ' "$(printf '%s\n' "${RECORDS[@]}" | grep -c '^Updating ')"
    expect_matching_count '^INFO: Preinstalling ' "${#INF_FILES[@]}"
}

# expect_matching_count REGEX N: N records match the extended REGEX.
expect_matching_count() {
    local got
    got=$(e2e_records | grep -c -E -- "$1")
    [ "$got" = "$2" ] || e2e_fail "$got records match /$1/, expected $2"
}

# The preinstall flows: every INF stored in list order, none bound, then the
# filter, then the eject tool.
expect_preinstall_records() {
    local i
    RECORDS=()
    copy_records
    for i in "${!INF_FILES[@]}"; do
        [ "$i" -eq "$FILTER_INDEX" ] && RECORDS+=('Found KWE Mass Storage Device Driver!\n')
        RECORDS+=("INFO: Preinstalling ${INF_FILES[$i]}\\n" 'SUCCESS: preinstalled driver.\n')
    done
    [ "$FILTER_INDEX" -ge 0 ] && RECORDS+=('Found KWE Mass Storage Device,Active...\n' 'Set the gorvel value success!\n')
    RECORDS+=('Call lantrope.exe...\n' "$FINISH")
    e2e_expect_records_in_order "${RECORDS[@]}"
    e2e_expect_no_record_matching '^Updating '
    expect_matching_count '^INFO: Preinstalling ' "${#INF_FILES[@]}"
}

# host_file WINDOWS_RELATIVE_PATH: the host path of a file in the prefix,
# found whatever the letter case (empty when missing).
# Each folder is looked up on its own, which is much faster than a search
# of the whole drive.
host_file() {
    local path="$E2E_PREFIX/drive_c" part
    local -a parts
    IFS=/ read -r -a parts <<<"$1"
    for part in "${parts[@]}"; do
        path=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$part" 2>/dev/null | head -n 1)
        [ -n "$path" ] || return 0
    done
    printf '%s\n' "$path"
}

expect_file() {
    [ -n "$(host_file "$1")" ] || e2e_fail "C:\\$(printf '%s' "$1" | tr '/' '\\') does not exist"
}

expect_no_file() {
    [ -z "$(host_file "$1")" ] || e2e_fail "C:\\$(printf '%s' "$1" | tr '/' '\\') should not exist"
}

# Every driver file in system32\drivers and every INF in the driver store,
# each the same as the package's.
expect_package_in_system() {
    local name copy
    for name in "${SYS_FILES[@]}"; do
        copy=$(host_file "windows/system32/drivers/$name")
        if [ -z "$copy" ]; then
            e2e_fail "C:\\windows\\system32\\drivers\\$name does not exist"
        elif ! cmp -s "$copy" "$WIN7_DIR/$name"; then
            e2e_fail "C:\\windows\\system32\\drivers\\$name differs from the package's"
        fi
    done
    for name in "${INF_FILES[@]}"; do
        copy=$(host_file "windows/inf/$name")
        if [ -z "$copy" ]; then
            e2e_fail "$name is not in the driver store (C:\\windows\\inf)"
        elif ! cmp -s "$copy" "$WIN7_DIR/$name"; then
            e2e_fail "C:\\windows\\inf\\$name differs from the package's"
        fi
    done
}

# ---- the registry -------------------------------------------------------

reg_key_exists() {
    hallimor_wine "$E2E_PREFIX" reg query "$1" >/dev/null 2>&1
}

expect_key() {
    reg_key_exists "$1" || e2e_fail "registry key $1 does not exist"
}

expect_no_key() {
    reg_key_exists "$1" && e2e_fail "registry key $1 should not exist"
}

# The values directly under a key, one a line: NAME<TAB>TYPE DATA.
reg_values() {
    hallimor_wine "$E2E_PREFIX" reg query "$1" 2>/dev/null | tr -d '\r' |
        awk '/^    [^ ]/ { split($0, f, "    "); if (f[3] ~ /^REG_/) print f[2] "\t" f[3] " " f[4] }'
}

# expect_reg_values KEY NAME "TYPE DATA" [NAME "TYPE DATA"...]: the key's
# values, read in one query ("" for a value that must be absent).
expect_reg_values() {
    local key=$1 values name got
    shift
    values=$(reg_values "$key")
    while [ $# -ge 2 ]; do
        name=$1
        got=$(printf '%s\n' "$values" | awk -F'\t' -v n="$name" 'tolower($1) == tolower(n) { print $2; exit }')
        [ "$got" = "$2" ] || e2e_fail "registry value $key\\$name is [$got], expected [$2]"
        shift 2
    done
}

# The number of values directly under a key.
reg_value_count() {
    reg_values "$1" | grep -c .
}

expect_filter_service() {
    expect_reg_values "$SERVICES_KEY\\gorvel" \
        DisplayName 'REG_SZ KWE Mass Storage Filter Driver' \
        Type 'REG_DWORD 0x1' \
        Start 'REG_DWORD 0x3' \
        ErrorControl 'REG_DWORD 0x1' \
        ImagePath 'REG_SZ system32\drivers\gorvel.sys'
}

expect_uninstall_entry() {
    expect_reg_values "$UNINSTALL_KEY" \
        DisplayName 'REG_EXPAND_SZ KWE USB Driver' \
        DisplayVersion 'REG_EXPAND_SZ 1.0.1.14' \
        UninstallString 'REG_EXPAND_SZ "C:\Hallimor\Hallimor_x64.exe" Uninstall' \
        flag 'REG_EXPAND_SZ Installed' \
        Publisher 'REG_EXPAND_SZ KWE Corporation' \
        URLInfoAbout 'REG_EXPAND_SZ https://www.kwe.example/' \
        DisplayIcon 'REG_EXPAND_SZ C:\Hallimor\Hallimor_x64.exe' \
        InstallLocation 'REG_EXPAND_SZ C:\Hallimor'
    local count
    count=$(reg_value_count "$UNINSTALL_KEY")
    [ "$count" = 8 ] || e2e_fail "the uninstall entry holds $count values, expected 8"
}

# The install flag under both keys, as a preinstall writes it.
set_install_flag() {
    local key
    for key in "${FLAG_KEYS[@]}"; do
        hallimor_wine "$E2E_PREFIX" reg add "$key" /v IsDriverInstalled /t REG_DWORD /d 1 /f >/dev/null 2>&1 ||
            setup_error "cannot write $key"
    done
}

# ---- devices and services -----------------------------------------------

setup_error() {
    echo "error: test setup: $*" >&2
    exit 1
}

mkdevice() {
    local output
    output=$(hallimor_wine "$E2E_PREFIX" "$HALLIMOR_MKDEVICE" "$@" 2>&1) || {
        echo "$output" >&2
        setup_error "mkdevice.exe $* failed"
    }
    printf '%s\n' "$output" | tr -d '\r'
}

# add_device INSTANCE_ID HARDWARE_ID...
add_device() {
    mkdevice create "$@" >/dev/null
}

# The "device|..." lines of every USB device.
list_devices() {
    mkdevice list | grep '^device|'
}

# device_line INSTANCE_ID: the device's line (Wine upper-cases instance IDs).
device_line() {
    local upper
    upper=$(printf '%s' "$1" | tr 'a-z' 'A-Z')
    # Through the environment: awk -v would read the backslashes as escapes.
    list_devices | WANTED_ID=$upper awk -F'|' 'toupper($2) == ENVIRON["WANTED_ID"] { print; exit }'
}

expect_device_gone() {
    local line
    line=$(device_line "$1")
    [ -z "$line" ] || e2e_fail "device $1 should be removed: [$line]"
}

# expect_device INSTANCE_ID LOWER_FILTERS FRIENDLY_NAME ("-" for none)
expect_device() {
    local line want
    line=$(device_line "$1")
    if [ -z "$line" ]; then
        e2e_fail "device $1 is missing"
        return
    fi
    want="$2|$3"
    [ "$(printf '%s' "$line" | cut -d'|' -f4-5)" = "$want" ] ||
        e2e_fail "device $1 is [$line], expected lower filters and friendly name [$want]"
}

# The device flag in the device's Device Parameters key ("" when absent).
expect_device_flag() {
    local upper
    upper=$(printf '%s' "$1" | tr 'a-z' 'A-Z')
    e2e_expect_reg_value "$ENUM_KEY\\$upper\\Device Parameters" gorvel "$2"
}

expect_service() {
    expect_key "$SERVICES_KEY\\$1"
}

expect_no_service() {
    expect_no_key "$SERVICES_KEY\\$1"
}

# record_count TEXT: how many records are exactly TEXT.
record_count() {
    e2e_records | grep -c -F -x -- "$1"
}

expect_record_count() {
    local got
    got=$(record_count "$1")
    [ "$got" = "$2" ] || e2e_fail "record [$1] appears $got times, expected $2"
}

# place_file WINDOWS_RELATIVE_PATH TEXT
place_file() {
    local path="$E2E_PREFIX/drive_c/$1"
    mkdir -p "$(dirname "$path")"
    printf '%s' "$2" >"$path"
}

# An INF of the driver store whose [Version] names the provider.
provider_inf() {
    printf '[Version]\r\nSignature = "$Windows NT$"\r\nClass = Modem\r\nProvider = %s\r\n\r\n' "$1"
    printf '[Manufacturer]\r\n%%P%% = Models\r\n\r\n[Models]\r\nDevice = Install, USB\\VID_3E1F&PID_A101\r\n\r\n'
    printf '[Strings]\r\nP = "%s"\r\n' "$1"
}

start_case() {
    e2e_new_prefix "$case_name"
    # One wineserver for the whole case, so that every wine64 call below
    # starts fast; e2e_remove_prefix ends it. The first program starts
    # Wine's own services, which then live as long as the server: they must
    # not inherit the output pipe of a later $(...) capture, which would
    # then never end.
    WINEPREFIX=$E2E_PREFIX "$HALLIMOR_WINE_DIR/wineserver" -p </dev/null >/dev/null 2>&1
    hallimor_wine "$E2E_PREFIX" reg query 'HKLM\Software\Wine' </dev/null >/dev/null 2>&1
    hallimor_wine_place_installer "$E2E_PREFIX" "$HALLIMOR_EXE" "$HALLIMOR_SAMPLE"
    read_package
}

# Phantom devices of the storage function, another function of the family
# and another vendor. The storage devices' instance IDs begin with storage
# table entries, one in mixed case, one in upper case with a revision and
# interface suffix in its hardware IDs.
STORAGE_MIXED='USB\VID_3E1F&PID_C301\6&1&0&1'
STORAGE_UPPER='USB\VID_3E1F&PID_C307&MI_00\7&2&0&0'
MODEM_DEVICE='USB\VID_3E1F&PID_A101\5&3&0&2'
FOREIGN_STORAGE='USB\VID_1234&PID_C301\5&2&0&1'

add_storage_devices() {
    add_device "$STORAGE_MIXED" 'USB\Vid_3E1F&Pid_C301&Rev_0001' 'USB\Vid_3E1F&Pid_C301'
    add_device "$STORAGE_UPPER" 'USB\VID_3E1F&PID_C307&REV_0200&MI_00' 'USB\VID_3E1F&PID_C307&MI_00'
    add_device "$MODEM_DEVICE" 'USB\Vid_3E1F&Pid_A101&MI_00'
    add_device "$FOREIGN_STORAGE" 'USB\Vid_1234&Pid_C301'
}

# ---- the cases ----------------------------------------------------------

case "$case_name" in

install_system_state)
    # Install with the package: the records of every INF in order, the files
    # in system32\drivers and the driver store, the filter service and the
    # USBSTOR flag; no install flag and no uninstall entry.
    start_case
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_package_lists
        expect_install_records
        e2e_expect_no_record_matching '^Call lantrope'
        e2e_expect_last_record "$FINISH"
    }
    expect_package_in_system
    if [ "$FILTER_INDEX" -ge 0 ]; then
        e2e_expect_reg_value "$USBSTOR_KEY" gorvel 'REG_DWORD 0x1'
        expect_filter_service
    else
        e2e_expect_reg_value "$USBSTOR_KEY" gorvel ''
    fi
    expect_no_key "$UNINSTALL_KEY"
    for key in "${FLAG_KEYS[@]}"; do
        expect_no_key "$key"
    done
    ;;

preinstall_cu_system_state)
    # Preinstall_cu: every INF stored (none bound), the filter, the eject
    # tool, the uninstall entry with its eight values; no install flag.
    start_case
    e2e_run Preinstall_cu
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_package_lists
        expect_preinstall_records
        e2e_expect_last_record "$FINISH"
    }
    expect_package_in_system
    if [ "$FILTER_INDEX" -ge 0 ]; then
        e2e_expect_reg_value "$USBSTOR_KEY" gorvel 'REG_DWORD 0x1'
        expect_filter_service
    fi
    expect_uninstall_entry
    for key in "${FLAG_KEYS[@]}"; do
        expect_no_key "$key"
    done
    ;;

preinstall_storage_devices)
    # Preinstall with devices of the family present: the storage functions
    # get the lower filter, the friendly name and the device flag 2; the
    # modem function and another vendor's device with the same product ID
    # stay untouched. Both install-flag keys are written.
    start_case
    [ "$FILTER_INDEX" -ge 0 ] || setup_error "the package carries no gorvel.sys"
    add_storage_devices
    e2e_run Preinstall
    e2e_expect_exit 0
    e2e_expect_log && {
        expect_preinstall_records
        e2e_expect_records_in_order \
            'Found KWE Mass Storage Device,Active...\n' \
            'id : USB\Vid_3E1F&Pid_C301\n' 'Set LOWERFILTERS Success!\n' 'Set the gorvel value success!\n' \
            'Set FilterInfo Success!\n' 'Set LowFilter Success!\n' \
            'id : USB\Vid_3E1F&Pid_C307\n' 'Set LOWERFILTERS Success!\n' 'Set the gorvel value success!\n' \
            'Set FilterInfo Success!\n' 'Set LowFilter Success!\n' \
            'Call lantrope.exe...\n'
        # One pass over the devices for each of the seven storage entries.
        expect_record_count 'Buffer : USB\Vid_1234&Pid_C301\n' 7
        expect_record_count 'Buffer : USB\VID_3E1F&PID_C307&REV_0200&MI_00\n' 7
        expect_record_count 'id : USB\Vid_3E1F&Pid_C301\n' 1
        e2e_expect_no_record_matching '^id : USB.Vid_3E1F&Pid_C30[2-6]'
    }
    expect_device "$STORAGE_MIXED" gorvel 'KWE Mass Storage Device'
    expect_device "$STORAGE_UPPER" gorvel 'KWE Mass Storage Device'
    expect_device "$MODEM_DEVICE" - -
    expect_device "$FOREIGN_STORAGE" - -
    expect_device_flag "$STORAGE_MIXED" 'REG_DWORD 0x2'
    expect_device_flag "$STORAGE_UPPER" 'REG_DWORD 0x2'
    expect_device_flag "$MODEM_DEVICE" ''
    expect_device_flag "$FOREIGN_STORAGE" ''
    e2e_expect_reg_value "$USBSTOR_KEY" gorvel 'REG_DWORD 0x1'
    expect_filter_service
    for key in "${FLAG_KEYS[@]}"; do
        e2e_expect_reg_value "$key" IsDriverInstalled 'REG_DWORD 0x1'
    done
    expect_no_key "$UNINSTALL_KEY"
    ;;

uninstall_devices)
    # After Preinstall_cu (and an install flag), Uninstall switches the
    # filter off first, removes every device of the removal table (matched
    # on any of its hardware IDs, in any letter case, with suffixes) and
    # keeps another vendor's device and a product the table does not name;
    # then it takes the registry records away.
    start_case
    add_storage_devices
    e2e_run Preinstall_cu
    e2e_expect_exit 0
    expect_device "$STORAGE_MIXED" gorvel 'KWE Mass Storage Device'
    set_install_flag
    add_device 'USB\VID_9999&PID_0001\5&7&0&1' 'USB\Vid_9999&Pid_0001' 'USB\Vid_3E1F&Pid_B20C&MI_01'
    add_device 'USB\VID_3E1F&PID_D40B&MI_02\8&1&0&2' 'USB\VID_3E1F&PID_D40B&REV_0300&MI_02' 'USB\VID_3E1F&PID_D40B&MI_02'
    add_device 'USB\VID_3E1F&PID_E501\5&8&0&1' 'USB\Vid_3E1F&Pid_E501'
    e2e_run Uninstall
    e2e_expect_exit 0
    e2e_expect_log && {
        e2e_expect_records_in_order \
            'OperateCode: Uninstall\n' \
            'Found KWE Mass Storage Device,Disable...\n' 'Set the gorvel value success!\n' \
            'Found! [USB\Vid_3E1F&Pid_A101&MI_00]\n' '\nBegin Uninstall operation...\n' 'Uninstall success.\n' \
            'Found! [USB\Vid_3E1F&Pid_B20C&MI_01]\n' 'Uninstall success.\n' \
            'Found! [USB\Vid_3E1F&Pid_C301&Rev_0001]\n' 'Uninstall success.\n' \
            'Found! [USB\VID_3E1F&PID_C307&REV_0200&MI_00]\n' 'Uninstall success.\n' \
            'Found! [USB\VID_3E1F&PID_D40B&REV_0300&MI_02]\n' 'Uninstall success.\n' \
            "$FINISH"
        expect_record_count 'Uninstall success.\n' 5
        e2e_expect_no_record_matching '^Found! \[USB.Vid_(1234|3E1F&Pid_E501)'
        e2e_expect_no_record_matching '^(RegDeleteKey|CallClassInstaller|GetDeviceRegistryProperty|EnumDeviceInfo|GetClassDevs)'
        e2e_expect_no_record_matching '^Buffer : |^id : '
    }
    for device in "$STORAGE_MIXED" "$STORAGE_UPPER" "$MODEM_DEVICE" \
        'USB\VID_9999&PID_0001\5&7&0&1' 'USB\VID_3E1F&PID_D40B&MI_02\8&1&0&2'; do
        expect_device_gone "$device"
    done
    expect_device "$FOREIGN_STORAGE" - -
    expect_device 'USB\VID_3E1F&PID_E501\5&8&0&1' - -
    e2e_expect_reg_value "$USBSTOR_KEY" gorvel 'REG_DWORD 0x0'
    expect_no_key "$UNINSTALL_KEY"
    for key in "${FLAG_KEYS[@]}"; do
        expect_no_key "$key"
    done
    # Uninstall leaves the filter service itself in place.
    expect_service gorvel
    ;;

clean_vendor_purge)
    # Clean deletes the OEM INFs of the vendor's providers (a package INF
    # among them) without their PNF files and keeps others; deletes the
    # vendor's services, devices and driver files and the support library;
    # creates the filter service and deletes it again after the devices.
    start_case
    first_inf=${INF_FILES[0]}
    cp "$WIN7_DIR/$first_inf" "$E2E_PREFIX/drive_c/windows/inf/oem2.inf"
    place_file windows/inf/oem2.PNF 'compiled'
    place_file windows/inf/oem5.inf "$(provider_inf 'ZEFO Incorporated')"
    place_file windows/inf/oem5.PNF 'compiled'
    place_file windows/inf/oem6.inf "$(provider_inf 'kwe corporation')"
    place_file windows/inf/oem6.PNF 'compiled'
    place_file windows/inf/oem7.inf "$(provider_inf 'KWE Corporation Europe')"
    mkdevice service KWEusbnet KWETDModem ZEFOdvbh KWEGSMSound OtherDrv >/dev/null
    add_device 'USB\VID_3E1F&PID_E501\5&8&0&1' 'USB\Vid_3E1F&Pid_E501'
    add_device "$FOREIGN_STORAGE" 'USB\Vid_1234&Pid_C301'
    place_file windows/system32/drivers/KWEusbnet.sys 'driver'
    place_file windows/system32/drivers/kweusbgser.sys 'driver'
    place_file windows/system32/drivers/gorvel.sys 'filter'
    place_file windows/system32/drivers/other.sys 'driver'
    place_file windows/system32/brommet.dll 'library'
    set_install_flag
    hallimor_wine "$E2E_PREFIX" reg add "$UNINSTALL_KEY" /v DisplayName /t REG_EXPAND_SZ /d 'KWE USB Driver' /f \
        >/dev/null 2>&1 || setup_error "cannot write the uninstall entry"
    e2e_run Clean
    e2e_expect_exit 0
    e2e_expect_log && {
        e2e_expect_records_in_order \
            'OperateCode: Clean\n' \
            'Change file attributes: C:\windows\inf\oem2.inf\n' 'Delete: C:\windows\inf\oem2.inf\n' 'Delete success!\n' \
            'Change file attributes: C:\windows\inf\oem5.inf\n' 'Delete: C:\windows\inf\oem5.inf\n' 'Delete success!\n' \
            'Delete KWEusbnet service success! \n' \
            "Can't open KWEusbser6k service!\\n" \
            'Delete ZEFOdvbh service success! \n' \
            'Delete KWETDModem service success! \n' \
            "Can't open KWETDModem service!\\n" \
            'Delete KWEGSMSound service success! \n' \
            'Set the gorvel value success!\n' \
            'Create [gorvel] service success!\n' \
            'Found! [USB\Vid_3E1F&Pid_E501]\n' 'Uninstall success.\n' \
            'Delete gorvel service success! \n' \
            'Delete: C:\windows\system32\drivers\KWEusbnet.sys\n' 'Delete success!\n' \
            'Delete: C:\windows\system32\drivers\kweusbgser.sys\n' 'Delete success!\n' \
            'Remove: brommet.dll Success!\n' \
            "$FINISH"
        e2e_expect_no_record_matching 'oem[67]\.inf|Search file name|^Found \['
        e2e_expect_no_record_matching 'gorvel\.sys|other\.sys|OtherDrv'
        expect_record_count 'Uninstall success.\n' 1
        # The four services of the repeated entries: each attempted twice.
        expect_record_count "Can't open KWETDNMEA service!\\n" 2
    }
    expect_no_file windows/inf/oem2.inf
    expect_no_file windows/inf/oem5.inf
    expect_file windows/inf/oem2.PNF
    expect_file windows/inf/oem5.PNF
    expect_file windows/inf/oem6.inf
    expect_file windows/inf/oem6.PNF
    expect_file windows/inf/oem7.inf
    for service in KWEusbnet KWETDModem ZEFOdvbh KWEGSMSound gorvel; do
        expect_no_service "$service"
    done
    expect_service OtherDrv
    expect_device_gone 'USB\VID_3E1F&PID_E501\5&8&0&1'
    expect_device "$FOREIGN_STORAGE" - -
    expect_no_file windows/system32/drivers/KWEusbnet.sys
    expect_no_file windows/system32/drivers/kweusbgser.sys
    expect_no_file windows/system32/brommet.dll
    expect_file windows/system32/drivers/gorvel.sys
    expect_file windows/system32/drivers/other.sys
    # Clean leaves the install records.
    for key in "${FLAG_KEYS[@]}"; do
        e2e_expect_reg_value "$key" IsDriverInstalled 'REG_DWORD 0x1'
    done
    e2e_expect_reg_value "$UNINSTALL_KEY" DisplayName 'REG_EXPAND_SZ KWE USB Driver'
    e2e_expect_reg_value "$USBSTOR_KEY" gorvel 'REG_DWORD 0x1'
    ;;

superseded_before_install)
    # Before Install, an OEM INF whose first hardware ID is a package INF's
    # in another letter case is deleted with its PNF file; one that names
    # that ID only on its second model line stays, with its PNF.
    start_case
    source_inf=
    for name in "${INF_FILES[@]}"; do
        if first_id=$(perl "$INF_MODELS" first-id "$WIN7_DIR/$name") &&
            [ "$first_id" != "$(printf '%s' "$first_id" | tr 'A-Z' 'a-z')" ]; then
            source_inf=$name
            break
        fi
    done
    [ -n "$source_inf" ] || setup_error "no package INF has a first hardware ID with upper-case letters"
    upper_id=$(printf '%s' "$first_id" | tr 'a-z' 'A-Z')
    inf_dir="$E2E_PREFIX/drive_c/windows/inf"
    perl "$INF_MODELS" recase-first "$WIN7_DIR/$source_inf" "$inf_dir/oem8.inf" || setup_error "recase-first"
    place_file windows/inf/oem8.PNF 'compiled'
    perl "$INF_MODELS" push-down "$WIN7_DIR/$source_inf" "$inf_dir/oem9.inf" 'USB\VID_1234&PID_5678' ||
        setup_error "push-down"
    place_file windows/inf/oem9.PNF 'compiled'
    e2e_run Install
    e2e_expect_exit 0
    e2e_expect_log && {
        e2e_expect_records_in_order \
            "Found [$upper_id] from C:\\windows\\inf\\oem8.inf\\n" \
            "Found [$upper_id] from ${PACKAGE}WIN7\\${source_inf}\\n" \
            'Remove: C:\windows\inf\oem8.inf success!\n' \
            'Remove: C:\windows\inf\oem8.PNF success!\n' \
            'Found [USB\VID_1234&PID_5678] from C:\windows\inf\oem9.inf\n' \
            "Copy ${PACKAGE}WIN7\\${SYS_FILES[0]} to C:\\windows\\system32\\drivers\\${SYS_FILES[0]}\\n" \
            "$FINISH"
        e2e_expect_no_record_matching 'Remove: C:.windows.inf.oem9'
    }
    expect_no_file windows/inf/oem8.inf
    expect_no_file windows/inf/oem8.PNF
    expect_file windows/inf/oem9.inf
    expect_file windows/inf/oem9.PNF
    expect_package_in_system
    ;;

*)
    echo "error: unknown case $case_name" >&2
    exit 2
    ;;
esac

e2e_finish
