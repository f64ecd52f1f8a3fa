#!/usr/bin/env bash
# hallimor-check's INF reader held against SetupAPI: setupinf.exe reads the
# INFs that inf_compare.pl writes (one reading rule each) through Wine's
# SetupAPI with the installer's calls, and "hallimor-check inf --json" must
# print the same facts (inf_compare.pl says where the documentation decides
# instead), on them and on the sample package's INFs. The
# host checker and HallimorCheck_x64.exe under Wine must print the same
# report byte for byte.
#
# Usage: inf_compare.sh CASE   (CASE: inf_setupapi)
# Environment: as for e2e.sh, and
#   HALLIMOR_SETUPINF    build/windows/setupinf.exe
#   HALLIMOR_CHECK_EXE   build/windows/HallimorCheck_x64.exe
#   HALLIMOR_CHECK_HOST  build/host/hallimor-check
#   HALLIMOR_INF_CORPUS  optional: a folder of further INFs (real packages'
#                        INFs, kept outside the repository) read the same way
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"
# shellcheck source=e2e_lib.sh
source "$here/e2e_lib.sh"

case_name=${1:?case name}
[ "$case_name" = inf_setupapi ] || {
    echo "error: unknown case $case_name" >&2
    exit 2
}
e2e_require_variables HALLIMOR_SETUPINF HALLIMOR_CHECK_EXE HALLIMOR_CHECK_HOST HALLIMOR_SAMPLE HALLIMOR_WINE_BASE \
    HALLIMOR_WINE_WORK
e2e_require_built "$HALLIMOR_SETUPINF" "$HALLIMOR_CHECK_EXE" "$HALLIMOR_CHECK_HOST"
hallimor_wine_check || exit 1
hallimor_wine_environment

e2e_new_prefix "$case_name"
mkdir -p "$E2E_PREFIX/drive_c/tools"
cp "$HALLIMOR_SETUPINF" "$HALLIMOR_CHECK_EXE" "$E2E_PREFIX/drive_c/tools/"
infs=$E2E_PREFIX/drive_c/infs
mkdir -p "$infs"
perl "$here/inf_compare.pl" write "$infs" || exit 1
cp -r "$HALLIMOR_SAMPLE/64bit" "$infs/sample"
if [ -n "${HALLIMOR_INF_CORPUS:-}" ]; then
    mkdir -p "$infs/corpus"
    find "$HALLIMOR_INF_CORPUS" -iname '*.inf' -type f -exec cp -- {} "$infs/corpus/" \; || exit 1
fi
mapfile -t names < <(cd "$infs" && ls -- *.inf && find sample corpus -iname '*.inf' 2>/dev/null | sort)
work=$(mktemp -d)

# The same relative names (with forward slashes) in every run: the reports
# name the files alike.
(cd "$infs" && hallimor_wine "$E2E_PREFIX" 'C:\tools\setupinf.exe' "${names[@]}") </dev/null |
    tr -d '\r' >"$work/setupapi.json"
(cd "$infs" &&
    hallimor_wine "$E2E_PREFIX" 'C:\tools\HallimorCheck_x64.exe' inf --json "${names[@]}") </dev/null |
    tr -d '\r' >"$work/windows.json"
(cd "$infs" && "$HALLIMOR_CHECK_HOST" inf --json "${names[@]}") >"$work/host.json"
e2e_note "${#names[@]} INFs read by SetupAPI and by both builds of the checker"

if ! cmp -s "$work/host.json" "$work/windows.json"; then
    e2e_fail "the host and Windows builds of the checker differ: $(diff "$work/host.json" "$work/windows.json" | head -n 6)"
fi
perl "$here/inf_compare.pl" compare "$work/setupapi.json" "$work/host.json" || e2e_fail "the checker reads otherwise than SetupAPI"
rm -rf "$work"
e2e_finish
