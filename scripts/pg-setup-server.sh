#!/usr/bin/env bash
# pg-setup-server.sh [--server NAME] [--mkdb PATH] ROLE DATABASE
#
# Makes a Cartulo archive on an existing PostgreSQL server, for an agency whose workstations
# share one archive. Run it on the server machine as root (it works as the postgres
# superuser through the local socket), or as any user with PGUSER naming a superuser.
#   1. creates the login role ROLE (kept if it exists; its password is set when one is given)
#      and the database DATABASE owned by it, UTF-8 with locale C.UTF-8 (case folding and
#      the search index see accented letters; texts ordered by code point), that only ROLE
#      may connect to;
#   2. creates the archive's tables in it as ROLE, with cartulo-mkdb;
#   3. prints the description-file line for the workstations.
# The password is asked for when run from a terminal, or taken from CARTULO_PG_PASSWORD.
# PGHOST and PGPORT say where the server listens (default: the local socket for the
# superuser, localhost for ROLE, port 5432).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
  echo "usage: $0 [--server NAME] [--mkdb PATH] ROLE DATABASE" >&2
  echo "  --server NAME  the server's name as the workstations reach it (default: $(hostname -f 2>/dev/null || hostname))" >&2
  echo "  --mkdb PATH    cartulo-mkdb to use (default: build/bin/cartulo-mkdb, built when missing)" >&2
  exit 2
}

server="$(hostname -f 2>/dev/null || hostname)"
mkdb="$root/build/bin/cartulo-mkdb"
while [ $# -gt 0 ]; do
  case "$1" in
    --server) [ $# -ge 2 ] || usage; server="$2"; shift 2 ;;
    --mkdb) [ $# -ge 2 ] || usage; mkdb="$2"; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 2 ] || usage
role="$1"
database="$2"
for name in "$role" "$database"; do
  if [[ ! "$name" =~ ^[a-z_][a-z0-9_]{0,62}$ ]]; then
    echo "$0: \"$name\": use lower-case letters, digits and _ (a letter first)" >&2
    exit 2
  fi
done

if [ -z "${CARTULO_PG_PASSWORD+set}" ]; then
  if [ -t 0 ]; then
    read -r -s -p "Password for $role (empty: none): " CARTULO_PG_PASSWORD
    echo
  else
    CARTULO_PG_PASSWORD=""
  fi
fi
export CARTULO_PG_PASSWORD

if [ ! -x "$mkdb" ]; then
  echo "Building cartulo-mkdb..."
  bash "$root/scripts/install-deps.sh"
  bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DCARTULO_TESTS=OFF -DCARTULO_BENCH=OFF
fi

# The superuser's session: as root, the postgres system user through the local socket.
as_superuser() {
  if [ "$(id -u)" -eq 0 ] && [ -z "${PGUSER:-}" ]; then
    (cd / && runuser -u postgres -- "$@")
  else
    "$@"
  fi
}

if [ -n "$(as_superuser psql -X -q -At -d postgres -c "SELECT 1 FROM pg_database WHERE datname = '$database'")" ]; then
  echo "$0: the database $database already exists; nothing was changed (choose another name)" >&2
  exit 1
fi

# Names reach the server as psql variables, quoted by psql; the password through the
# environment, never on a command line.
as_superuser psql -X -q -v ON_ERROR_STOP=1 -d postgres -v role="$role" -v database="$database" <<'SQL'
\getenv password CARTULO_PG_PASSWORD
SELECT NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = :'role') AS new_role \gset
\if :new_role
  CREATE ROLE :"role" LOGIN;
\endif
SELECT :'password' <> '' AS has_password \gset
\if :has_password
  ALTER ROLE :"role" LOGIN PASSWORD :'password';
\endif
-- The groups workstation users belong to (roles are the server's, shared by its databases).
SELECT NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'cartulo_consulta') AS new_groups \gset
\if :new_groups
  CREATE ROLE cartulo_consulta NOLOGIN;
  CREATE ROLE cartulo_arquivista NOLOGIN IN ROLE cartulo_consulta;
  CREATE ROLE cartulo_admin NOLOGIN IN ROLE cartulo_arquivista;
\endif
CREATE DATABASE :"database" OWNER :"role" ENCODING 'UTF8' LOCALE 'C.UTF-8' TEMPLATE template0;
REVOKE CONNECT, TEMPORARY ON DATABASE :"database" FROM PUBLIC;
GRANT CONNECT, TEMPORARY ON DATABASE :"database" TO :"role";
GRANT CONNECT ON DATABASE :"database" TO cartulo_consulta, cartulo_arquivista, cartulo_admin;
SQL

# The tables are made by ROLE itself, so they belong to it.
description="$(mktemp --suffix=.udl)"
trap 'rm -f "$description"' EXIT
mkdb_host="${PGHOST:-localhost}"
[ -z "${PGPORT:-}" ] || mkdb_host="$mkdb_host:$PGPORT"
printf '[oledb]\n; Everything after this line is an OLE DB initstring\nProvider=PostgreSQL;Data Source=%s;Initial Catalog=%s;User ID=%s\n' \
  "$mkdb_host" "$database" "$role" >"$description"
PGPASSWORD="$CARTULO_PG_PASSWORD" "$mkdb" "$description"

source_line="$server"
[ -z "${PGPORT:-}" ] || [ "$PGPORT" = 5432 ] || source_line="$server:$PGPORT"
echo "The archive is ready. The line for cartulo.udl on every workstation:"
echo
echo "Provider=PostgreSQL;Data Source=$source_line;Initial Catalog=$database;User ID=$role"
echo
echo "Put the password in each workstation user's ~/.pgpass (mode 600), one line:"
echo "$server:${PGPORT:-5432}:$database:$role:PASSWORD"
echo
echo "Each user logs in as a role of its own, member of one group (consulta reads; arquivista"
echo "also includes and edits processes, documents and pages; admin also deletes and edits the"
echo "document types and the agency profile). As the server's superuser, for example:"
echo
echo "  CREATE ROLE maria LOGIN PASSWORD 'senha' IN ROLE cartulo_arquivista;"
echo "  GRANT cartulo_admin TO joao;     -- an existing role"
echo
echo "An archive made before the groups and the history is brought up to date by its owner:"
echo "  cartulo-mkdb --atualizar DESCRIPTION.udl"
