#!/usr/bin/env bash
# A private PostgreSQL server for the records tests and benchmark: its own data folder, no TCP
# port, only a Unix socket inside that folder, so it can never meet another server or client.
#   pg-cluster.sh start DIR    makes the cluster on first use (role "configurator", trust on the
#                              socket), starts it and waits until it accepts connections
#   pg-cluster.sh stop DIR     stops it; the data stays, so `start` brings the same rows back
#   pg-cluster.sh remove DIR   stops it and removes DIR
# Clients reach it with PGHOST=DIR PGPORT=5432 PGUSER=configurator. The server refuses to run
# as root: as root, it runs as nobody, which then owns DIR.
set -euo pipefail
cmd=${1:?usage: pg-cluster.sh start|stop|remove DIR}
dir=${2:?usage: pg-cluster.sh start|stop|remove DIR}
bin=${PG_BIN:-/usr/lib/postgresql/15/bin}
if [ ! -x "$bin/pg_ctl" ]; then
    # Another Debian release carries another major version.
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
    [ -n "$bin" ] && [ -x "$bin/pg_ctl" ] || {
        echo "pg-cluster.sh: no PostgreSQL server; install Debian's postgresql" >&2
        exit 1
    }
fi

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}
running() {
    [ -f "$dir/data/postmaster.pid" ] && as_owner "$bin/pg_ctl" -D "$dir/data" status >/dev/null
}

case "$cmd" in
start)
    if [ ! -f "$dir/data/PG_VERSION" ]; then
        mkdir -p "$dir"
        chmod 700 "$dir"
        if [ "$(id -u)" -eq 0 ]; then chown nobody: "$dir"; fi
        as_owner "$bin/initdb" -D "$dir/data" -U configurator --auth=trust -E UTF8 --no-sync \
            >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
    fi
    if running; then exit 0; fi
    # listen_addresses='' : no TCP at all. A crash of an earlier run may leave a stale pid
    # file; pg_ctl sees that the process is gone and starts anyway.
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses= -c unix_socket_directories=$dir -p 5432" start >/dev/null \
        || { cat "$dir/server.log" >&2; exit 1; }
    ;;
stop)
    if running; then as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null; fi
    ;;
remove)
    if [ -d "$dir/data" ] && running; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "pg-cluster.sh: unknown command $cmd" >&2
    exit 2
    ;;
esac
