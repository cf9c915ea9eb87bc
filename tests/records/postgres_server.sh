#!/usr/bin/env bash
# Starts or stops the PostgreSQL server the record tests use: its own data folder under the
# build tree, a Unix socket in a fresh folder, trust for the local user but a password for the
# members of quarvet_password_login; and TCP on 127.0.0.1
# that takes TLS connections only, with a certificate made here by openssl.
#   postgres_server.sh start FOLDER   writes FOLDER/url (a postgresql:// URL of the socket)
#                                     and FOLDER/url_tls (one over TCP, verifying the server's
#                                     certificate) when it runs, else FOLDER/unavailable with
#                                     the reason
#   postgres_server.sh stop FOLDER
# Run by ctest alone, a server that cannot start does not fail the run: start exits 77, which
# CTest lists as a skipped test in its summary, and the record tests say in each PostgreSQL
# case why it is skipped. The test command fails instead.
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

# The test command requires the server (QUARVET_REQUIRE_POSTGRES=1): there a server that
# cannot start fails the run rather than skipping every PostgreSQL case.
unavailable() {
    echo "$*" >"$folder/unavailable"
    echo "PostgreSQL server not started: $*" >&2
    [ "${QUARVET_REQUIRE_POSTGRES:-}" = 1 ] && exit 1
    exit 77
}

stop() {
    if [ -f "$folder/socket" ] && [ -n "$bin" ] && [ -f "$data/postmaster.pid" ]; then
        as_server_user "$bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    if [ -f "$folder/socket" ]; then
        rm -rf -- "$(cat "$folder/socket")"
    fi
    rm -rf -- "$data" "$folder/url" "$folder/url_tls" "$folder/root.crt" "$folder/socket" \
        "$folder/unavailable" "$folder/log"
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
command -v openssl >/dev/null || unavailable "openssl is not installed"
# The certificate names the address the tests connect to, so verify-full holds.
openssl req -x509 -newkey rsa:2048 -nodes -days 3 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$data/server.key" -out "$data/server.crt" \
    >>"$folder/log" 2>&1 || unavailable "openssl made no certificate"
cp "$data/server.crt" "$folder/root.crt"
chmod 600 "$data/server.key"
[ "$(id -u)" -eq 0 ] && chown postgres "$data/server.key" "$data/server.crt"
# Over TCP only TLS is let in: a client that does not ask for it is turned away. The roles
# of the group quarvet_password_login log in with a password, as signers must: the signing
# tests make theirs members.
{
    echo "hostnossl all all 127.0.0.1/32 reject"
    echo "local all +quarvet_password_login scram-sha-256"
    echo "hostssl all +quarvet_password_login 127.0.0.1/32 scram-sha-256"
    cat "$data/pg_hba.conf"
} >"$data/pg_hba.new"
cat "$data/pg_hba.new" >"$data/pg_hba.conf" && rm -f "$data/pg_hba.new"
# A port of its own: another run on the machine may hold one.
started=
for attempt in 1 2 3 4 5 6 7 8; do
    port=$((20000 + RANDOM % 30000))
    if as_server_user "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
        -o "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories=$socket -c fsync=off -c ssl=on" \
        start >>"$folder/log" 2>&1; then
        started=yes
        break
    fi
done
[ -n "$started" ] ||
    unavailable "the server did not start: $(tail -n 3 "$data/server.log" 2>/dev/null | tr '\n' ' ')"
"$bin/psql" -h "$socket" -p "$port" -U quarvet -d postgres -q \
    -c "CREATE ROLE quarvet_password_login NOLOGIN" >>"$folder/log" 2>&1 ||
    unavailable "the group of roles that log in with a password could not be made"
# Percent-encoded, the socket folder is the URL's host.
host=$(printf '%s' "$socket" | sed 's,/,%2F,g')
echo "postgresql://quarvet@$host:$port/postgres" >"$folder/url"
echo "postgresql://quarvet@127.0.0.1:$port/postgres?sslmode=verify-full&sslrootcert=$folder/root.crt" \
    >"$folder/url_tls"
