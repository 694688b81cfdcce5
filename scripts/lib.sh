# Shared by the scripts: paths and small helpers. Sourced, not run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The files of a Debian package of this machine's architecture: with the
# Windows tests' 32-bit drivers installed beside, the bare name is ambiguous.
package_files() { dpkg -L "$1:$(dpkg --print-architecture)" 2>/dev/null || dpkg -L "$1" 2>/dev/null; }
ODBC_DRIVER_DIR="$(dirname "$(package_files libsqliteodbc | grep '/libsqlite3odbc.so$' | head -1)" 2>/dev/null || true)"

die() { echo "$(basename "$0"): $*" >&2; exit 1; }

# The driver library of a Debian ODBC driver package, by file name.
driver_path() {
    local package="$1" file="$2" path
    path="$(package_files "$package" | grep "/$file\$" | head -1)"
    [[ -n "$path" ]] || die "driver $file not found: install the Debian package $package (scripts/setup)"
    echo "$path"
}

# The newest installed PostgreSQL server's programs (initdb, pg_ctl, postgres,
# psql): Debian keeps them off the PATH, in one folder per major version.
pg_bin_dir() {
    ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1
}

# Runs a command as the postgres user when we are root (the server refuses root).
as_postgres() {
    if [[ $(id -u) -eq 0 ]]; then
        (cd / && runuser -u postgres -- "$@")
    else
        "$@"
    fi
}

# The test suites of one run report into the folder LORBANIX_SUITE_RESULTS names:
# counts (one line per suite: label, passed, failed, skipped, note; tab-separated)
# and details (one line per failed or skipped test).
suite_record() {  # suite_record LABEL PASSED FAILED SKIPPED [NOTE]
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "${5:-}" >>"$LORBANIX_SUITE_RESULTS/counts"
    if [[ -n "${5:-}" ]]; then echo "$1: failed: $5" >>"$LORBANIX_SUITE_RESULTS/details"; fi
}

# ctest_suite LABEL BUILD_DIR [CTEST ARGUMENTS]: runs a build tree's tests and
# records what they gave; a failure does not end the caller.
ctest_suite() {
    local label="$1" dir code=0
    dir="$(cd "$2" && pwd)"
    shift 2
    rm -f "$dir/Testing/results.xml"
    (cd "$dir" && ctest --output-on-failure --output-junit "$dir/Testing/results.xml" "$@") || code=$?
    "$ROOT/scripts/ctest-summary" "$label" "$dir/Testing/results.xml" "$code" "$LORBANIX_SUITE_RESULTS"
}

# Prints each failed and skipped test, one line per suite and the total line
# "N passed, M failed[, K skipped]" last; fails when anything failed.
suite_report() {
    echo
    cat "$LORBANIX_SUITE_RESULTS/details" 2>/dev/null || true
    awk -F '\t' '
        function counts(p, f, s) { return p " passed, " f " failed" (s > 0 ? ", " s " skipped" : "") }
        { print $1 ": " counts($2, $3, $4) ($5 != "" ? " (" $5 ")" : "")
          p += $2; f += $3; s += $4 }
        END { print counts(p, f, s); exit f > 0 || NR == 0 }' "$LORBANIX_SUITE_RESULTS/counts"
}
