#!/usr/bin/env bash
# The simulated machine checked against Wine: runs one scenario of
# tests/wine/compare/ on the simulated machine (hallimor_scenario) and the
# real executable under Wine from the same starting state, and compares the
# two dumps (exit code, install log records without time stamps, vendor
# files, driver store, registry). Differences that Wine cannot avoid are
# mapped by compare_filter.pl, each with its entry in
# docs/wine-limitations.md; any other difference fails.
#
# Usage: compare.sh SCENARIO_NAME     (tests/wine/compare/NAME.scn)
# Environment: as tests/wine/matrix.sh.
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=compare_lib.sh
source "$here/compare_lib.sh"

name=${1:?scenario name}
scenario=$here/compare/$name.scn
[ -f "$scenario" ] || { echo "error: no scenario $scenario" >&2; exit 1; }
for var in HALLIMOR_EXE HALLIMOR_RUNEXIT HALLIMOR_MKDEVICE HALLIMOR_SCENARIO HALLIMOR_SAMPLE HALLIMOR_WINE_BASE \
    HALLIMOR_WINE_WORK; do
    [ -n "${!var:-}" ] || { echo "error: $var is not set" >&2; exit 1; }
done
hallimor_wine_check || exit 1
hallimor_wine_environment

windows=$(compare_scenario_value "$scenario" windows)
windows=${windows:-win7}
read -r -a words <<<"$(compare_scenario_value "$scenario" words)"

mkdir -p "$HALLIMOR_WINE_WORK"
work=$(mktemp -d "$HALLIMOR_WINE_WORK/compare-$name.XXXXXX")
prefix=$work/prefix
cleanup() {
    hallimor_wine_stop "$prefix"
    if [ "${HALLIMOR_KEEP_WINE:-0}" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

cp -a "$HALLIMOR_WINE_BASE" "$prefix" || exit 1
compare_set_windows "$prefix" "$windows" || { echo "error: cannot set Windows version $windows" >&2; exit 1; }
compare_apply "$prefix" "$scenario" "$HALLIMOR_SAMPLE" "$HALLIMOR_EXE" "$HALLIMOR_MKDEVICE" ||
    { echo "error: cannot lay out $scenario" >&2; exit 1; }
hallimor_wine_stop "$prefix"
compare_run_and_dump "$prefix" "$HALLIMOR_RUNEXIT" "$windows" "${words[@]}" >"$work/wine"
"$HALLIMOR_SCENARIO" "$scenario" "$HALLIMOR_SAMPLE" >"$work/sim" || { echo "error: hallimor_scenario failed" >&2; exit 1; }

if ! grep -q '^record ' "$work/wine"; then
    echo "FAIL: the Wine run left no install log" >&2
    cat "$work/wine" >&2
    exit 1
fi
if diff -u --label "simulated machine" --label "Wine" \
    <(perl "$here/compare_filter.pl" sim <"$work/sim") \
    <(perl "$here/compare_filter.pl" wine <"$work/wine"); then
    echo "PASS: $name ($windows, ${words[*]:-no word}): $(grep -c '^record ' "$work/wine") records and" \
        "$(grep -c -v '^record \|^exit ' "$work/wine") state lines agree"
    exit 0
fi
echo "FAIL: $name: the simulated machine and Wine differ (above)" >&2
exit 1
