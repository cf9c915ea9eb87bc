#!/usr/bin/env bash
# Starts or stops the PostgreSQL server the record tests use: its own data folder under the
# build tree, a Unix socket in a fresh folder only (no TCP port), trust for the local user.
#   postgres_server.sh start FOLDER   writes FOLDER/url (a postgresql:// URL) when it runs,
#                                     else FOLDER/unavailable with the reason
#   postgres_server.sh stop FOLDER
# A server that cannot start does not fail the run: start exits 77, which CTest lists as a
# skipped test in its summary, and the record tests say in each PostgreSQL case why it is
# skipped.
set -uo pipefail
action=${1:?start or stop}
folder=${2:?folder}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
data=$folder/data

# initdb and the server refuse to run as root: they run as the postgres user then.
as_server_user() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)

unavailable() {
    echo "$*" >"$folder/unavailable"
    echo "PostgreSQL server not started: $*" >&2
    exit 77
}

stop() {
    if [ -f "$folder/socket" ] && [ -n "$bin" ] && [ -f "$data/postmaster.pid" ]; then
        as_server_user "$bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    if [ -f "$folder/socket" ]; then
        rm -rf -- "$(cat "$folder/socket")"
    fi
    rm -rf -- "$data" "$folder/url" "$folder/socket" "$folder/unavailable" "$folder/log"
}

case "$action" in
    stop) stop; exit 0 ;;
    start) ;;
    *) echo "usage: $0 start|stop FOLDER" >&2; exit 2 ;;
esac

stop
[ -n "$bin" ] && [ -x "$bin/initdb" ] || unavailable "Debian's postgresql package is not installed"
if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    unavailable "running as root and there is no postgres user to run the server as"
fi
# A socket path has a short limit (107 bytes): a folder of its own under /tmp.
socket=$(mktemp -d /tmp/quarvet-pg.XXXXXX) || unavailable "no socket folder could be made"
echo "$socket" >"$folder/socket"
mkdir -p "$data"
if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$data" "$socket" || unavailable "the data folder cannot be given to postgres"
    # The server reaches its data folder through the build tree.
    chmod o+x "$folder" 2>/dev/null || true
    dir=$folder
    while [ "$dir" != / ]; do chmod o+x "$dir" 2>/dev/null || true; dir=$(dirname "$dir"); done
fi
as_server_user "$bin/initdb" -D "$data" -U quarvet --auth=trust -E UTF8 --locale=C.UTF-8 \
    >"$folder/log" 2>&1 || unavailable "initdb failed: $(tail -n 3 "$folder/log" | tr '\n' ' ')"
as_server_user "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
    -o "-c listen_addresses='' -c unix_socket_directories=$socket -c fsync=off" start \
    >>"$folder/log" 2>&1 ||
    unavailable "the server did not start: $(tail -n 3 "$data/server.log" 2>/dev/null | tr '\n' ' ')"
# Percent-encoded, the socket folder is the URL's host.
host=$(printf '%s' "$socket" | sed 's,/,%2F,g')
echo "postgresql://quarvet@$host:5432/postgres" >"$folder/url"
