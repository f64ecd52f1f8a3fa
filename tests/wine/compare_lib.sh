# Lays out the starting state of a scenario file (tests/wine/matrix/*.scn,
# tests/wine/compare/*.scn) in a Wine prefix, runs the installer there and
# dumps the run in the format of the simulated machine's dump
# (hallimor_scenario), so that the two can be compared line by line.
# Sourced by tests/wine/matrix.sh and tests/wine/compare.sh, after
# scripts/lib/wine.sh.
#
# Scenario lines (fields separated by '|'; '#' starts a comment):
#   windows|NAME            win2k, winxp64, win2003, vista, win7, win10
#   words|WORD...           the command-line words (none: no word)
#   include|FILE            the lines of another file of the same folder
#   package                 the sample Drivers folder beside the installer
#   device|INSTANCE_ID|HWID...   a USB device with its hardware-ID list
#   configflags|INSTANCE_ID|VALUE  the configuration flags of that device
#   service|NAME...         demand-start kernel-driver services
#   vss|START_TYPE          the shadow-copy service, not running
#   oeminf|oemN.inf|SOURCE  a driver-store INF (SOURCE: a file of the
#                           scenario's folder, or sample:REL in the package)
#                           with its PNF
#   file|REL|TEXT           a file below C:\windows holding TEXT and CR LF
#   readonly|REL|TEXT       the same, read-only
#   regdword|KEY|NAME|VALUE, regsz|KEY|NAME|TEXT   values under HKLM

COMPARE_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# compare_lines SCENARIO: the scenario's directives, includes expanded.
compare_lines() {
    local file=$1 folder line
    folder=$(dirname "$file")
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        case "$line" in
        '' | '#'*) continue ;;
        include\|*) compare_lines "$folder/${line#include|}" ;;
        *) printf '%s\n' "$line" ;;
        esac
    done <"$file"
}

# compare_scenario_value SCENARIO windows|words: the fields of the last such
# line, separated by blanks ("" when there is none).
compare_scenario_value() {
    compare_lines "$1" | grep "^$2|" | tail -n 1 | cut -d'|' -f2- | tr '|' ' '
}

# compare_host_path PREFIX REL: the host path of C:\windows\REL (the folders
# of a prefix are lower case; missing ones are made).
compare_host_path() {
    local prefix=$1 rel=$2 dir name
    rel=$(printf '%s' "$rel" | tr '\\' '/')
    dir=$(dirname "$rel")
    name=$(basename "$rel")
    dir=$(printf '%s' "$dir" | tr 'A-Z' 'a-z')
    mkdir -p "$prefix/drive_c/windows/$dir"
    printf '%s\n' "$prefix/drive_c/windows/$dir/$name"
}

# compare_set_windows PREFIX NAME: the version that programs in PREFIX are
# told. Windows 2000 is refused by winecfg in a 64-bit prefix; it is told
# through the version values of the registry.
compare_set_windows() {
    local prefix=$1 name=$2 reg
    if [ "$name" = win2k ]; then
        reg=$(mktemp "$prefix/drive_c/version.XXXXXX.reg")
        cat >"$reg" <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="5.0"
"CurrentMajorVersionNumber"=dword:00000005
"CurrentMinorVersionNumber"=dword:00000000
"CurrentBuild"="2195"
"CurrentBuildNumber"="2195"
"CSDVersion"="Service Pack 4"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ProductOptions]
"ProductType"="WinNT"
EOF
        hallimor_wine "$prefix" reg import "C:\\$(basename "$reg")" >/dev/null 2>&1 || return 1
        rm -f "$reg"
    else
        hallimor_wine_set_version "$prefix" "$name" || return 1
    fi
}

# compare_source SCENARIO SAMPLE NAME: host path of a file a scenario names.
compare_source() {
    case "$3" in
    sample:*) printf '%s\n' "$2/64bit/${3#sample:}" ;;
    *) printf '%s\n' "$(dirname "$1")/$3" ;;
    esac
}

# compare_apply PREFIX SCENARIO SAMPLE EXE MKDEVICE: lays out the scenario's
# starting state (not its Windows version or words) in PREFIX.
compare_apply() {
    local prefix=$1 scenario=$2 sample=$3 exe=$4 mkdevice=$5
    local reg line name path base status=0
    local -a f
    reg=$(mktemp "$prefix/drive_c/state.XXXXXX.reg")
    printf 'REGEDIT4\n\n' >"$reg"
    hallimor_wine_place_installer "$prefix" "$exe"
    while IFS= read -r line; do
        IFS='|' read -r -a f <<<"$line"
        case "${f[0]}" in
        windows | words) ;;
        package)
            cp -r "$sample" "$prefix/drive_c/Hallimor/Drivers" || status=1
            ;;
        device)
            hallimor_wine "$prefix" "$mkdevice" create "${f[@]:1}" >/dev/null || status=1
            ;;
        service)
            hallimor_wine "$prefix" "$mkdevice" service "${f[@]:1}" >/dev/null || status=1
            ;;
        vss)
            hallimor_wine "$prefix" sc create VSS binpath= 'C:\windows\system32\vssvc.exe' type= own \
                start= "$( [ "${f[1]}" = 2 ] && echo auto || echo demand)" \
                displayname= 'Volume Shadow Copy' >/dev/null 2>&1 || status=1
            ;;
        oeminf)
            path=$(compare_host_path "$prefix" "inf\\${f[1]}")
            base=${path%.*}
            cp "$(compare_source "$scenario" "$sample" "${f[2]}")" "$path" || status=1
            printf 'PNF' >"$base.PNF"
            ;;
        file | readonly)
            path=$(compare_host_path "$prefix" "${f[1]}")
            if [ -n "${f[2]:-}" ]; then printf '%s\r\n' "${f[2]}" >"$path"; else : >"$path"; fi
            [ "${f[0]}" = readonly ] && chmod a-w "$path"
            ;;
        configflags)
            printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\%s]\n"ConfigFlags"=dword:%08x\n\n' \
                "${f[1]}" "$((f[2]))" >>"$reg"
            ;;
        regdword)
            printf '[HKEY_LOCAL_MACHINE\\%s]\n"%s"=dword:%08x\n\n' "${f[1]}" "${f[2]}" "$((f[3]))" >>"$reg"
            ;;
        regsz)
            printf '[HKEY_LOCAL_MACHINE\\%s]\n"%s"="%s"\n\n' "${f[1]}" "${f[2]}" "${f[3]//\\/\\\\}" >>"$reg"
            ;;
        *)
            echo "error: $scenario: unknown line $line" >&2
            status=1
            ;;
        esac
    done < <(compare_lines "$scenario")
    if grep -q HKEY "$reg"; then
        hallimor_wine "$prefix" reg import "C:\\$(basename "$reg")" >/dev/null 2>&1 || status=1
    fi
    rm -f "$reg"
    return $status
}

# compare_package_folder PREFIX WINDOWS: host path of the package's OS folder.
compare_package_folder() {
    local root="$1/drive_c/Hallimor/Drivers/64bit"
    case "$2" in
    win2k | winxp64 | win2003) printf '%s\n' "$root/WNET" ;;
    vista) printf '%s\n' "$root/VISTA" ;;
    win7) printf '%s\n' "$root/WIN7" ;;
    *) printf '%s\n' "$root" ;;
    esac
}

# compare_run_and_dump PREFIX RUNEXIT WINDOWS [WORD...]: runs the installer
# in PREFIX, waits for its wineserver to end and prints the dump.
compare_run_and_dump() {
    local prefix=$1 runexit=$2 windows=$3 output code package
    shift 3
    output=$(hallimor_wine_run_installer "$prefix" "$runexit" "$@")
    code=$(hallimor_wine_exit_code "$output")
    hallimor_wine_stop "$prefix"
    package=$(compare_package_folder "$prefix" "$windows")
    [ -d "$package" ] || package=-
    perl "$COMPARE_HERE/compare_dump.pl" "$prefix" "${code:-none}" "$package"
}
