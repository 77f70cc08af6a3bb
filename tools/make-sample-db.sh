#!/bin/bash
# Creates a target database for the updater.
#
#   tools/make-sample-db.sh [--dialect 1|3] [--bare] [--no-index LOGR|MUNIC]...
#                           [--user USER --password PASS] [--force] DATABASE
#
# DATABASE is a local file, created through the embedded engine (no server
# needed), or host[/port]:path, created through that server over TCP.
#
# The database is created by the user its file name selects (lumexbd* ->
# LUMEX_APP, vortanbd* -> VORTAN_APP, else SYSDBA), so that user owns it and
# every object in it. --user/--password log in as someone else; the
# database then belongs to that user, and the one the file name selects is
# granted what the updater needs (create/drop tables, alter the indexes,
# read and write the three tables). Over TCP the password of a known user
# comes from the table in tools/lib-firebird.sh, the one tools/fbserver.sh
# sets up; the embedded engine asks for none.
#
#   --dialect N   SQL dialect of the database (default 1)
#   --bare        no tables at all
#   --no-index X  leave out IDX_CEPS_LOGR (LOGR) or IDX_CEPS_MUNIC (MUNIC)
#   --force       replace an existing database
#
# The default schema: TAB_CEP (primary key NU_CEP, indexes IDX_CEPS_LOGR and
# IDX_CEPS_MUNIC), TAB_MUNI (primary key ID_MUNIC) and QUELMAR_INI, character
# set WIN1252.
set -euo pipefail

# shellcheck source=tools/lib-firebird.sh
. "$(dirname "$0")/lib-firebird.sh"

usage() {
  sed -n 4,5p "$0" | sed "s/^#   //" >&2
  exit 2
}

DIALECT=1
BARE=0
FORCE=0
NO_LOGR=0
NO_MUNIC=0
LOGIN_USER=""
LOGIN_PASSWORD=""
DATABASE=""

while [ $# -gt 0 ]; do
  case "$1" in
    --dialect)
      [ $# -ge 2 ] || usage
      case "$2" in 1 | 3) DIALECT=$2 ;; *) fb_die "--dialect takes 1 or 3, not '$2'" ;; esac
      shift 2
      ;;
    --bare) BARE=1; shift ;;
    --force) FORCE=1; shift ;;
    --no-index)
      [ $# -ge 2 ] || usage
      case "$(printf '%s' "$2" | tr '[:lower:]' '[:upper:]')" in
        LOGR) NO_LOGR=1 ;;
        MUNIC) NO_MUNIC=1 ;;
        *) fb_die "--no-index takes LOGR or MUNIC, not '$2'" ;;
      esac
      shift 2
      ;;
    --user)
      [ $# -ge 2 ] || usage
      LOGIN_USER=$(printf '%s' "$2" | tr '[:lower:]' '[:upper:]')
      shift 2
      ;;
    --password)
      [ $# -ge 2 ] || usage
      LOGIN_PASSWORD=$2
      shift 2
      ;;
    -h | --help) usage ;;
    --) shift; break ;;
    -*) fb_die "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || usage
DATABASE=$1
[ -n "$DATABASE" ] || usage

OWNER=$(fb_owner_for_path "$DATABASE")
[ -n "$LOGIN_USER" ] || LOGIN_USER=$OWNER

# host:path or host/port:path goes through a server; anything else is a file.
if [[ "$DATABASE" =~ ^[A-Za-z0-9._-]+(/[0-9]+)?:. ]] && [[ ! "$DATABASE" =~ ^[A-Za-z]:[\\/] ]]; then
  REMOTE=1
  if [ -z "$LOGIN_PASSWORD" ]; then
    LOGIN_PASSWORD=$(fb_password_for "$LOGIN_USER") ||
      fb_die "no password known for $LOGIN_USER; give --password"
  fi
else
  REMOTE=0
  # The embedded engine takes the user name as given and checks no password.
  DATABASE=$(realpath -m -- "$DATABASE")
  [ -d "$(dirname "$DATABASE")" ] || fb_die "folder $(dirname "$DATABASE") does not exist"
  if [ -e "$DATABASE" ]; then
    [ "$FORCE" = 1 ] || fb_die "$DATABASE exists (use --force to replace it)"
    rm -f -- "$DATABASE" || fb_die "cannot remove $DATABASE"
  fi
fi

DB_Q=$(fb_sql_quote "$DATABASE")
USER_Q=$(fb_sql_quote "$LOGIN_USER")
PASS_Q=$(fb_sql_quote "$LOGIN_PASSWORD")
if [ "$REMOTE" = 1 ]; then
  AUTH="USER '$USER_Q' PASSWORD '$PASS_Q'"
else
  AUTH="USER '$USER_Q'"
fi

if [ "$REMOTE" = 1 ] && [ "$FORCE" = 1 ]; then
  # Best effort: a database that is not there cannot be dropped, and one that
  # cannot be dropped makes the CREATE below fail with the reason.
  printf "CONNECT '%s' %s;\nDROP DATABASE;\n" "$DB_Q" "$AUTH" | fb_run_sql 2>/dev/null || true
fi

schema() {
  cat <<'EOF'
CREATE TABLE TAB_CEP (
  NU_CEP CHAR(8) NOT NULL,
  ID_TIPO_LOGR CHAR(10),
  TE_DESCRICAO_CEP CHAR(70),
  NM_BAIRRO CHAR(60),
  SG_UF CHAR(2),
  ID_MUNI_PREV CHAR(5),
  ID_PAF CHAR(8),
  CONSTRAINT PK_TAB_CEP PRIMARY KEY (NU_CEP));
EOF
  [ "$NO_LOGR" = 1 ] || echo "CREATE INDEX IDX_CEPS_LOGR ON TAB_CEP (TE_DESCRICAO_CEP);"
  [ "$NO_MUNIC" = 1 ] || echo "CREATE INDEX IDX_CEPS_MUNIC ON TAB_CEP (ID_MUNI_PREV);"
  cat <<'EOF'
CREATE TABLE TAB_MUNI (
  ID_MUNIC CHAR(6) NOT NULL,
  NM_MUNIC CHAR(30),
  CONSTRAINT PK_TAB_MUNI PRIMARY KEY (ID_MUNIC));
CREATE TABLE QUELMAR_INI (
  ID_ITEM VARCHAR(20),
  TX_DESCRICAO VARCHAR(100));
COMMIT;
EOF
}

# What the owner would have by ownership, for a database someone else made.
grants() {
  local u=$1 t
  echo "GRANT CREATE TABLE TO USER $u;"
  echo "GRANT ALTER ANY TABLE TO USER $u;"
  echo "GRANT DROP ANY TABLE TO USER $u;"
  if [ "$BARE" = 0 ]; then
    for t in TAB_CEP TAB_MUNI QUELMAR_INI; do
      echo "GRANT ALL ON $t TO USER $u;"
    done
  fi
  echo "COMMIT;"
}

{
  echo "SET SQL DIALECT $DIALECT;"
  echo "CREATE DATABASE '$DB_Q' $AUTH PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1252;"
  [ "$BARE" = 1 ] || schema
  [ "$LOGIN_USER" = "$OWNER" ] || grants "$OWNER"
} | fb_run_sql || fb_die "cannot create $DATABASE as $LOGIN_USER"
