# Shared by the scripts: paths and small helpers. Sourced, not run.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ODBC_DRIVER_DIR="$(dirname "$(dpkg -L libsqliteodbc 2>/dev/null | grep '/libsqlite3odbc.so$' | head -1)" 2>/dev/null || true)"

die() { echo "$(basename "$0"): $*" >&2; exit 1; }

# The driver library of a Debian ODBC driver package, by file name.
driver_path() {
    local package="$1" file="$2" path
    path="$(dpkg -L "$package" 2>/dev/null | grep "/$file\$" | head -1)"
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
