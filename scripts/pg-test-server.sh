#!/usr/bin/env bash
# pg-test-server.sh start|stop DIR: the tests' private PostgreSQL server. DIR is a short
# folder under /tmp that holds the server's data, its log and its Unix socket (a socket
# path may not exceed 107 bytes, so never a folder in the build tree). No TCP port is
# opened; local connections are trusted, so the folder itself is the only way in. The
# server's superuser is "postgres". `start` replaces whatever an earlier run left behind;
# `stop` ends the server and removes its data, keeping DIR (so no one else takes the name
# meanwhile) and the server's log; it does nothing when there is no server.
set -euo pipefail

action="${1:-}"
dir="${2:-}"
if [[ ! "$action" =~ ^(start|stop)$ || ! "$dir" =~ ^/tmp/[A-Za-z0-9._-]+$ ]]; then
  echo "usage: $0 start|stop /tmp/FOLDER" >&2
  exit 2
fi
marker="$dir/.cartulo-pg-test"

bindir="$(pg_config --bindir 2>/dev/null || true)"
if [ ! -x "$bindir/initdb" ]; then
  bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
fi
if [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ]; then
  echo "$0: PostgreSQL's server programs are not installed (run scripts/install-deps.sh)" >&2
  exit 1
fi

# The server refuses to run as root: under root it runs as the postgres system user.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    "$@"
  fi
}

# A folder this script made, or an empty one (as mktemp makes it): anything else is left alone.
check_folder() {
  if [ -L "$dir" ] || { [ -d "$dir" ] && [ ! -f "$marker" ] && [ -n "$(ls -A "$dir")" ]; }; then
    echo "$0: $dir is not a test server's folder; left alone" >&2
    exit 1
  fi
}

stop_server() {
  check_folder
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 60 stop >/dev/null \
      || as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
  fi
  rm -rf "$dir/data"
}

start_server() {
  stop_server
  [ -d "$dir" ] || mkdir -m 700 "$dir"
  chmod 700 "$dir"
  touch "$marker"
  if [ "$(id -u)" -eq 0 ]; then
    chown -R postgres: "$dir"
  fi
  # C.UTF-8: case folding and the trigram index see accented letters; order by code point.
  if ! as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust --encoding=UTF8 \
      --locale=C.UTF-8 --no-sync >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  # A throwaway server: durability is not worth the tests' time. Its log is this run's only.
  rm -f "$dir/server.log"
  if ! as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-c listen_addresses='' -k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
      start >/dev/null; then
    cat "$dir/server.log" >&2
    exit 1
  fi
  echo "PostgreSQL test server ready: PGHOST=$dir PGUSER=postgres"
}

case "$action" in
  start) start_server ;;
  stop) stop_server ;;
esac
