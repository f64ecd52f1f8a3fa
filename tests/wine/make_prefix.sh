#!/usr/bin/env bash
# Makes the Wine prefix that the end-to-end tests of one test run share (each
# test works on its own copy). Usage: make_prefix.sh PREFIX
set -u

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/lib/wine.sh
source "$here/../../scripts/lib/wine.sh"

prefix=${1:?prefix folder}
hallimor_wine_check || exit 1
hallimor_wine_environment
start=$(date +%s)
hallimor_wine_make_prefix "$prefix" || exit 1
echo "Wine prefix ready in $(($(date +%s) - start)) s: $prefix"
