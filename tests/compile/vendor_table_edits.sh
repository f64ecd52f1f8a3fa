#!/bin/bash
# The vendor tables must not build when an edit breaks their rules: each
# entry 21 characters beginning with the 12-character vendor prefix, every
# storage entry also in the removal table. Compiles the tables as they are
# (must build) and once per planted edit (must not).
#   vendor_table_edits.sh CXX SOURCE_DIR
set -u
cxx=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/common"
cp "$src/src/common/vendor_config.h" "$src/src/common/ascii_case.h" "$work/common/"

compile() {
    "$cxx" -std=c++17 -fsyntax-only -I "$work" "$work/vendor_config.cpp" 2>"$work/errors"
}

failed=0
cp "$src/src/common/vendor_config.cpp" "$work/vendor_config.cpp"
if ! compile; then
    echo "FAIL: the tables as they stand do not build"
    cat "$work/errors"
    failed=1
fi

# name|sed expression applied to vendor_config.cpp
edits=(
    'entry one character short|s/"USB\\\\Vid_3E1F&Pid_A101",/"USB\\\\Vid_3E1F\&Pid_A10",/'
    'entry one character long|s/"USB\\\\Vid_3E1F&Pid_A102",/"USB\\\\Vid_3E1F\&Pid_A1022",/'
    'entry of another maker|s/"USB\\\\Vid_3E1F&Pid_A103",/"USB\\\\Vid_1234\&Pid_A103",/'
    'prefix cut short|s/kVendorHardwareIdPrefix\[\] = "USB\\\\Vid_3E1F"/kVendorHardwareIdPrefix[] = "USB\\\\Vid_3E1"/'
    'prefix of another maker|s/kVendorHardwareIdPrefix\[\] = "USB\\\\Vid_3E1F"/kVendorHardwareIdPrefix[] = "USB\\\\Vid_1234"/'
    'storage entry not removed|0,/"USB\\\\Vid_3E1F&Pid_C307",/s//"USB\\\\Vid_3E1F\&Pid_C3FF",/'
    'removal table one entry short|0,/    "USB\\\\Vid_3E1F&PID_D40B",/s///'
)
for edit in "${edits[@]}"; do
    name=${edit%%|*}
    expression=${edit#*|}
    sed -e "$expression" "$src/src/common/vendor_config.cpp" >"$work/vendor_config.cpp"
    if cmp -s "$work/vendor_config.cpp" "$src/src/common/vendor_config.cpp"; then
        echo "FAIL: $name: the edit did not apply"
        failed=1
    elif compile; then
        echo "FAIL: $name: the tables still build"
        failed=1
    else
        if grep -qE "static[_ ]assert" "$work/errors"; then
            echo "ok: $name: refused"
        else
            echo "FAIL: $name: refused for another reason"
            cat "$work/errors"
            failed=1
        fi
    fi
done
exit $failed
