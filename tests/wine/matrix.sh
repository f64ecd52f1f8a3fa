#!/usr/bin/env bash
# The operation matrix under Wine: every operation word (and no word, and an
# unknown word) on one Windows version. Each cell runs the real executable on
# a fresh copy of a prefix prepared once for the version (the starting state
# of tests/wine/matrix/state.scn: phantom vendor devices, vendor and foreign
# OEM INFs, vendor services, a stand-in shadow-copy service, old driver
# files), and checks
#   - the exit code, the install log record by record and the state after the
#     run against the same run on the simulated machine (hallimor_scenario),
#     through the mappings of compare_filter.pl, and
#   - the expectations of tests/wine/matrix/expect.txt on the Wine run.
#
# Usage: matrix.sh VERSION [WORD_NAME...]
#   VERSION    win2k, winxp64, win2003, vista, win7 or win10
#   WORD_NAME  cells to run (default all): none, Install, Preinstall,
#              Preinstall_f, Preinstall_cfg, Preinstall_cu, Preinstall_BYT,
#              Uninstall, Clean, unknown
# Environment: as tests/wine/e2e.sh, and HALLIMOR_MKDEVICE, HALLIMOR_SCENARIO
# (the hallimor_scenario program of the host build).
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=compare_lib.sh
source "$here/compare_lib.sh"

version=${1:?Windows version}
shift
cells=("$@")
[ ${#cells[@]} -gt 0 ] || cells=(none Install Preinstall Preinstall_f Preinstall_cfg Preinstall_cu Preinstall_BYT
    Uninstall Clean unknown)

for var in HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_MKDEVICE HALLIMOR_SCENARIO HALLIMOR_SAMPLE HALLIMOR_WINE_BASE \
    HALLIMOR_WINE_WORK; do
    [ -n "${!var:-}" ] || { echo "error: $var is not set" >&2; exit 1; }
done
for file in "$HALLIMOR_EXE" "$HALLIMOR_RUNEXIT" "$HALLIMOR_MKDEVICE" "$HALLIMOR_SCENARIO"; do
    [ -f "$file" ] || { echo "error: $file does not exist" >&2; exit 1; }
done
[ -d "$HALLIMOR_WINE_BASE/drive_c" ] || { echo "error: no shared prefix at $HALLIMOR_WINE_BASE" >&2; exit 1; }
hallimor_wine_check || exit 1
hallimor_wine_environment

state=$here/matrix/state.scn
expect=$here/matrix/expect.txt
work=$(mktemp -d "$HALLIMOR_WINE_WORK/matrix-$version.XXXXXX" 2>/dev/null || {
    mkdir -p "$HALLIMOR_WINE_WORK" && mktemp -d "$HALLIMOR_WINE_WORK/matrix-$version.XXXXXX"
})
base=$work/base
cleanup() {
    for p in "$work"/*/; do
        [ -d "$p/drive_c" ] && hallimor_wine_stop "$p"
    done
    if [ "${HALLIMOR_KEEP_WINE:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

start=$(date +%s)
cp -a "$HALLIMOR_WINE_BASE" "$base" || exit 1
compare_set_windows "$base" "$version" || { echo "error: cannot set Windows version $version" >&2; exit 1; }
compare_apply "$base" "$state" "$HALLIMOR_SAMPLE" "$HALLIMOR_EXE" "$HALLIMOR_MKDEVICE" ||
    { echo "error: cannot lay out $state" >&2; exit 1; }
hallimor_wine_stop "$base"
echo "prefix for $version ready in $(($(date +%s) - start)) s"

failures=0
for cell in "${cells[@]}"; do
    case "$cell" in
    none) words=() ;;
    unknown) words=(install) ;;
    *) words=("$cell") ;;
    esac
    prefix=$work/$cell
    cp -a "$base" "$prefix" || exit 1
    compare_run_and_dump "$prefix" "$HALLIMOR_RUNEXIT" "$version" "${words[@]}" >"$work/$cell.wine"
    rm -rf "$prefix"
    "$HALLIMOR_SCENARIO" "$state" "$HALLIMOR_SAMPLE" --windows "$version" --words "${words[@]}" >"$work/$cell.sim" ||
        { echo "FAIL $version/$cell: hallimor_scenario failed" >&2; failures=$((failures + 1)); continue; }
    cell_failed=0
    if ! diff -u --label "simulated machine" --label "Wine" \
        <(perl "$here/compare_filter.pl" sim <"$work/$cell.sim") \
        <(perl "$here/compare_filter.pl" wine <"$work/$cell.wine") >"$work/$cell.diff"; then
        echo "FAIL $version/$cell: the Wine run differs from the simulated machine's:" >&2
        cat "$work/$cell.diff" >&2
        cell_failed=1
    fi
    if ! perl "$here/matrix_expect.pl" "$expect" "$version" "$cell" "$work/$cell.wine" >&2; then
        echo "FAIL $version/$cell: expectations not met (above)" >&2
        cell_failed=1
    fi
    if [ $cell_failed -eq 1 ]; then
        failures=$((failures + 1))
        echo "---- Wine dump of $version/$cell ----" >&2
        cat "$work/$cell.wine" >&2
    else
        echo "ok   $version/$cell ($(grep -c '^record ' "$work/$cell.wine") records)"
    fi
done
echo "$version: ${#cells[@]} cells, $failures failed, $(($(date +%s) - start)) s"
[ $failures -eq 0 ]
