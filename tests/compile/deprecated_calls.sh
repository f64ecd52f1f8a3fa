#!/bin/bash
# Calls that the Windows SDK marks deprecated go through one place
# (src/platform/deprecated_calls.cpp), which silences exactly that warning;
# a call anywhere else would stop the Visual Studio build (/W4 /WX).
#   deprecated_calls.sh SOURCE_DIR
set -u
src=$1
failed=0
for call in GetVersionExA GetVersionExW GetVersionEx; do
    hits=$(grep -rnw --include='*.cpp' --include='*.h' "$call" "$src/src" |
        grep -v "^$src/src/platform/deprecated_calls.cpp:" |
        grep -v "^$src/src/platform/host/win_host.h:")
    if [ -n "$hits" ]; then
        echo "FAIL: $call outside src/platform/deprecated_calls.cpp:"
        echo "$hits"
        failed=1
    fi
done
if ! grep -qw "GetVersionExA" "$src/src/platform/deprecated_calls.cpp"; then
    echo "FAIL: src/platform/deprecated_calls.cpp no longer calls GetVersionExA"
    failed=1
fi
[ $failed -eq 0 ] && echo "ok: deprecated calls only in src/platform/deprecated_calls.cpp"
exit $failed
