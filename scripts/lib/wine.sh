# Running Hallimor_x64.exe in a throwaway Wine prefix. Sourced by
# scripts/demo and by the end-to-end tests in tests/wine.
#
# Debian's wine64 puts its programs into /usr/lib/wine, not on PATH.

HALLIMOR_WINE_DIR=${HALLIMOR_WINE_DIR:-/usr/lib/wine}
# Folder of the installer inside a prefix, as Windows sees it and as the host does.
HALLIMOR_WINE_INSTALLER_DIR='C:\Hallimor'
HALLIMOR_WINE_INSTALLER_EXE='C:\Hallimor\Hallimor_x64.exe'

# No debug chatter, no display, no downloads of add-ons on first start.
hallimor_wine_environment() {
    export WINEDEBUG=-all
    export WINEARCH=win64
    export WINEDLLOVERRIDES='mscoree=;mshtml=;winemenubuilder.exe='
    unset DISPLAY WAYLAND_DISPLAY
}

hallimor_wine_check() {
    if [ ! -x "$HALLIMOR_WINE_DIR/wine64" ] || [ ! -x "$HALLIMOR_WINE_DIR/wineserver" ]; then
        echo "error: wine64 and wineserver not found in $HALLIMOR_WINE_DIR (Debian package wine64)" >&2
        return 1
    fi
}

# hallimor_wine PREFIX ARGS...: runs wine64 in PREFIX.
hallimor_wine() {
    local prefix=$1
    shift
    WINEPREFIX=$prefix "$HALLIMOR_WINE_DIR/wine64" "$@"
}

# hallimor_wine_stop PREFIX: ends the prefix's wineserver and every program in it.
hallimor_wine_stop() {
    WINEPREFIX=$1 "$HALLIMOR_WINE_DIR/wineserver" -k >/dev/null 2>&1 || true
    WINEPREFIX=$1 "$HALLIMOR_WINE_DIR/wineserver" -w >/dev/null 2>&1 || true
}

# hallimor_wine_make_prefix PREFIX: makes a new prefix and waits until its
# registry has been written, so that it can be copied.
hallimor_wine_make_prefix() {
    local prefix=$1
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    hallimor_wine "$prefix" wineboot -i >/dev/null 2>&1 || {
        echo "error: wineboot -i failed for $prefix" >&2
        return 1
    }
    WINEPREFIX=$prefix "$HALLIMOR_WINE_DIR/wineserver" -w
    if [ ! -d "$prefix/drive_c/windows" ]; then
        echo "error: $prefix has no drive_c/windows after wineboot" >&2
        return 1
    fi
}

# hallimor_wine_set_version PREFIX NAME: the Windows version that the next
# programs in PREFIX are told (win7, vista, winxp64, win2003, win8, ...).
hallimor_wine_set_version() {
    hallimor_wine "$1" winecfg /v "$2" >/dev/null 2>&1
}

# hallimor_wine_place_installer PREFIX EXE [DRIVERS_FOLDER]: copies the
# installer to C:\Hallimor and, when given, a Drivers folder beside it.
hallimor_wine_place_installer() {
    local prefix=$1 exe=$2 drivers=${3:-}
    local dir="$prefix/drive_c/Hallimor"
    mkdir -p "$dir"
    cp "$exe" "$dir/Hallimor_x64.exe"
    if [ -n "$drivers" ]; then
        cp -r "$drivers" "$dir/Drivers"
    fi
}

# hallimor_wine_run_installer PREFIX RUNEXIT [WORD...]: runs the installer
# through the exit-code helper. Prints the helper's output; its "exit=N" line
# carries the installer's full 32-bit exit code.
#
# Now and then, on a busy machine, wine64 does not start the helper at all:
# no "exit=" line and no install log, so the installer never ran (a crash of
# the installer still gives the helper's "exit=" line). That is Wine's
# hiccup, not a run: it is said on standard error and the run is made once
# more in the untouched prefix.
hallimor_wine_run_installer() {
    local prefix=$1 runexit=$2 output
    shift 2
    output=$(hallimor_wine "$prefix" "$runexit" "$HALLIMOR_WINE_INSTALLER_EXE" "$@" 2>&1)
    if [ -z "$(hallimor_wine_exit_code "$output")" ] && [ -z "$(hallimor_wine_log_file "$prefix")" ]; then
        echo "note: wine64 did not start $runexit (output: ${output:-none}); running it once more" >&2
        hallimor_wine_stop "$prefix"
        output=$(hallimor_wine "$prefix" "$runexit" "$HALLIMOR_WINE_INSTALLER_EXE" "$@" 2>&1)
    fi
    printf '%s\n' "$output"
}

# hallimor_wine_exit_code OUTPUT: the N of the "exit=N" line, or nothing.
hallimor_wine_exit_code() {
    printf '%s\n' "$1" | tr -d '\r' | sed -n 's/^exit=\(-\{0,1\}[0-9][0-9]*\)$/\1/p' | tail -n 1
}

# hallimor_wine_log_file PREFIX: the host path of the install log
# (C:\windows\Temp\HandsetInstallInfo.log), found whatever the letter case.
hallimor_wine_log_file() {
    local prefix=$1
    find "$prefix/drive_c" -maxdepth 3 -ipath "$prefix/drive_c/windows/temp/handsetinstallinfo.log" 2>/dev/null | head -n 1
}
