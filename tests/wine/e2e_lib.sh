# Support for the end-to-end tests: a prefix per test, the installer run
# through runexit.exe, and checks on its exit code and its install log.
# Sourced by tests/wine/e2e.sh.

E2E_FAILURES=0

# e2e_require_variables NAME...: each environment variable must be set.
e2e_require_variables() {
    local var
    for var in "$@"; do
        [ -n "${!var:-}" ] || {
            echo "error: $var is not set" >&2
            exit 1
        }
    done
}

# e2e_require_built FILE...: each program of the windows preset must exist.
e2e_require_built() {
    local file
    for file in "$@"; do
        [ -f "$file" ] || {
            echo "error: $file does not exist: build the windows preset first" >&2
            exit 1
        }
    done
}
E2E_PREFIX=
E2E_OUTPUT=
E2E_EXIT=
E2E_LOG=

e2e_fail() {
    echo "FAIL: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

e2e_note() {
    echo "  $*"
}

# e2e_new_prefix NAME: a private copy of the shared prefix for this test.
e2e_new_prefix() {
    local name=$1
    [ -d "$HALLIMOR_WINE_BASE/drive_c" ] || {
        echo "error: no shared prefix at $HALLIMOR_WINE_BASE (the prefix fixture did not run)" >&2
        exit 1
    }
    mkdir -p "$HALLIMOR_WINE_WORK"
    E2E_PREFIX=$(mktemp -d "$HALLIMOR_WINE_WORK/$name.XXXXXX")
    rmdir "$E2E_PREFIX"
    cp -a "$HALLIMOR_WINE_BASE" "$E2E_PREFIX" || {
        echo "error: cannot copy the shared prefix" >&2
        exit 1
    }
    trap e2e_remove_prefix EXIT
}

e2e_remove_prefix() {
    [ -n "$E2E_PREFIX" ] || return 0
    hallimor_wine_stop "$E2E_PREFIX"
    if [ "${HALLIMOR_KEEP_WINE:-0}" = 1 ]; then
        echo "prefix kept: $E2E_PREFIX"
    else
        rm -rf "$E2E_PREFIX"
    fi
}

# e2e_run WORD...: runs the installer with the words; sets E2E_EXIT (the
# full exit code) and E2E_LOG (host path of the install log, or empty).
e2e_run() {
    E2E_OUTPUT=$(hallimor_wine_run_installer "$E2E_PREFIX" "$HALLIMOR_RUNEXIT" "$@")
    E2E_EXIT=$(hallimor_wine_exit_code "$E2E_OUTPUT")
    E2E_LOG=$(hallimor_wine_log_file "$E2E_PREFIX")
    e2e_note "run: Hallimor_x64.exe $* -> exit=${E2E_EXIT:-none}"
    if [ -z "$E2E_EXIT" ]; then
        echo "$E2E_OUTPUT" >&2
        echo "error: runexit.exe reported no exit code" >&2
        exit 1
    fi
}

# The records of the install log, one a line: the message of each record
# without its "(y/m/d h:m:s) " time stamp, carriage returns dropped and each
# line feed written as the two characters \n.
e2e_records() {
    [ -n "$E2E_LOG" ] && [ -f "$E2E_LOG" ] || return 0
    perl -0777 -ne '
        s/\r//g;
        my @parts = split m{\(\d+/\d+/\d+ \d+:\d+:\d+\) }, $_, -1;
        shift @parts;
        for my $m (@parts) { $m =~ s/\n/\\n/g; print "$m\n"; }
    ' "$E2E_LOG"
}

e2e_expect_exit() {
    if [ "$E2E_EXIT" != "$1" ]; then
        e2e_fail "exit code $E2E_EXIT, expected $1"
    fi
}

e2e_expect_log() {
    if [ -z "$E2E_LOG" ] || [ ! -s "$E2E_LOG" ]; then
        e2e_fail "no install log in C:\\windows\\Temp"
        return 1
    fi
}

# e2e_expect_record INDEX TEXT: record number INDEX (from 1) is exactly TEXT.
e2e_expect_record() {
    local got
    got=$(e2e_records | sed -n "$1p")
    if [ "$got" != "$2" ]; then
        e2e_fail "record $1 is [$got], expected [$2]"
    fi
}

# e2e_expect_last_record TEXT
e2e_expect_last_record() {
    local got
    got=$(e2e_records | tail -n 1)
    if [ "$got" != "$1" ]; then
        e2e_fail "last record is [$got], expected [$1]"
    fi
}

# e2e_expect_records_in_order TEXT...: each TEXT is a whole record, and they
# stand in this order (other records may come between them).
e2e_expect_records_in_order() {
    local missing
    missing=$(e2e_records | perl -e '
        my @want = @ARGV; my $i = 0;
        while (my $line = <STDIN>) { chomp $line; $i++ if $i < @want && $line eq $want[$i]; }
        print $want[$i] if $i < @want;
    ' "$@")
    if [ -n "$missing" ]; then
        e2e_fail "record [$missing] missing or out of order"
    fi
}

# e2e_expect_no_record_matching REGEX (extended regular expression)
e2e_expect_no_record_matching() {
    local hit
    hit=$(e2e_records | grep -E -m 1 -- "$1")
    if [ -n "$hit" ]; then
        e2e_fail "unexpected record [$hit]"
    fi
}

# e2e_expect_record_matching REGEX
e2e_expect_record_matching() {
    if ! e2e_records | grep -E -q -- "$1"; then
        e2e_fail "no record matches /$1/"
    fi
}

# Every line of the log ends in carriage return and line feed, the last one
# included.
e2e_expect_crlf_lines() {
    local bad
    bad=$(perl -0777 -ne '
        my $n = 0;
        while (/(?<!\r)\n/g) { $n++ }
        print "$n line feeds without a carriage return\n" if $n;
        print "last line not ended\n" if length($_) && substr($_, -1) ne "\n";
    ' "$E2E_LOG")
    if [ -n "$bad" ]; then
        e2e_fail "log lines not ended in CR LF: $bad"
    fi
}

# e2e_expect_file WINDOWS_RELATIVE_PATH: a file under drive_c exists (the
# path is compared without regard to letter case, as Windows does).
e2e_expect_file() {
    local rel=$1 found
    found=$(find "$E2E_PREFIX/drive_c" -ipath "$E2E_PREFIX/drive_c/$rel" 2>/dev/null | head -n 1)
    if [ -z "$found" ]; then
        e2e_fail "C:\\$(printf '%s' "$rel" | tr '/' '\\') does not exist"
    fi
}

e2e_expect_no_file() {
    local rel=$1 found
    found=$(find "$E2E_PREFIX/drive_c" -ipath "$E2E_PREFIX/drive_c/$rel" 2>/dev/null | head -n 1)
    if [ -n "$found" ]; then
        e2e_fail "C:\\$(printf '%s' "$rel" | tr '/' '\\') should not exist"
    fi
}

# e2e_show_log: the log, for the reader of a failed test.
e2e_show_log() {
    if [ -n "$E2E_LOG" ] && [ -f "$E2E_LOG" ]; then
        echo "---- install log ----"
        tr -d '\r' <"$E2E_LOG"
        echo "---------------------"
    else
        echo "---- no install log ----"
    fi
}

e2e_finish() {
    if [ "$E2E_FAILURES" -ne 0 ]; then
        e2e_show_log
        echo "$E2E_FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "PASS"
}

# e2e_reg_value KEY NAME: "TYPE DATA" of a registry value in the prefix
# (empty when the key or value is missing), as Wine's reg tool lists it.
e2e_reg_value() {
    hallimor_wine "$E2E_PREFIX" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '
            { split($0, f, "    ") }
            tolower(f[2]) == tolower(name) { print f[3] " " f[4]; exit }'
}

# e2e_expect_reg_value KEY NAME "TYPE DATA"
e2e_expect_reg_value() {
    local got
    got=$(e2e_reg_value "$1" "$2")
    if [ "$got" != "$3" ]; then
        e2e_fail "registry value $1\\$2 is [$got], expected [$3]"
    fi
}
