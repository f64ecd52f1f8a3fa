#!/usr/bin/env bash
# Checks of the committed sample package (sample/Drivers).
#
# Usage: sample_check.sh drivers SAMPLE_DIR DRIVER_BUILD_DIR
#        sample_check.sh catalogs SAMPLE_DIR
#   drivers   every .sys of every layout is the windows preset's build of it,
#             byte for byte, and a native-subsystem x64 image
#   catalogs  osslsigncode verifies every catalog's signature up to the
#             sample's test root, and every driver file that an INF names in
#             [SourceDisksFiles] against that INF's catalog
set -u

fail() {
    echo "FAIL: $*" >&2
    failed=1
}

failed=0
check=${1:?check}
sample=${2:?sample folder}
root_pem=$sample/TEST-ONLY-root-certificate.pem
mapfile -t folders < <(find "$sample/Drivers/64bit" -type d | sort)
[ ${#folders[@]} -eq 4 ] || fail "expected 4 layout folders, found ${#folders[@]}"

case "$check" in
drivers)
    build=${3:?driver build folder}
    count=0
    for folder in "${folders[@]}"; do
        for sys in "$folder"/*.sys; do
            name=$(basename "$sys")
            count=$((count + 1))
            cmp -s "$sys" "$build/$name" || fail "$sys is not the build's $build/$name"
            x86_64-w64-mingw32-objdump -p "$sys" | grep -Eq '^Subsystem[[:space:]]+00000001' ||
                fail "$sys is not a native-subsystem image"
        done
    done
    [ "$count" -eq 36 ] || fail "expected 36 driver files, found $count"
    ;;
catalogs)
    command -v osslsigncode >/dev/null || { echo "FAIL: osslsigncode is not installed" >&2; exit 1; }
    verified=0
    for folder in "${folders[@]}"; do
        for inf in "$folder"/*.inf; do
            cat=$(sed -n 's/^CatalogFile *= *\([^ \r]*\).*/\1/p' "$inf")
            out=$(osslsigncode verify -in "$folder/$cat" -CAfile "$root_pem" 2>&1)
            printf '%s\n' "$out" | grep -qx 'Succeeded' || fail "osslsigncode does not verify $folder/$cat: $out"
            # The driver files of [SourceDisksFiles] ("name = disk").
            for sys in $(awk '/^\[/{on = ($0 ~ /^\[SourceDisksFiles\]/)} on && /=/{print $1}' "$inf" | tr -d '\r'); do
                out=$(osslsigncode verify -catalog "$folder/$cat" -in "$folder/$sys" -CAfile "$root_pem" 2>&1)
                printf '%s\n' "$out" | grep -qx 'Succeeded' ||
                    fail "osslsigncode does not find $folder/$sys in $cat: $out"
                verified=$((verified + 1))
            done
        done
    done
    [ "$verified" -eq 36 ] || fail "expected 36 driver files verified, got $verified"
    ;;
*)
    fail "unknown check $check"
    ;;
esac
[ "$failed" -eq 0 ] && echo "PASS: $check"
exit "$failed"
