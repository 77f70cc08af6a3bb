# shellcheck shell=bash
# Shared helpers of tools/fbserver.sh and tools/make-sample-db.sh; sourced,
# not run. Needs bash.

# The users every target server must know, with their passwords. The
# application picks one of them from the database file name.
# shellcheck disable=SC2034 # used by the scripts that source this file
FB_USERS="SYSDBA LUMEX_APP VORTAN_APP"

fb_password_for() {
  case "$1" in
    SYSDBA) echo corvinale ;;
    LUMEX_APP) echo Lx7rq2 ;;
    VORTAN_APP) echo Vt4km9 ;;
    *) return 1 ;;
  esac
}

# The user that owns a database, chosen from its file name: the part after
# the last backslash, colon or slash, lower-cased.
fb_owner_for_path() {
  local name=${1##*[\\:/]}
  name=$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')
  case "$name" in
    lumexbd*) echo LUMEX_APP ;;
    vortanbd*) echo VORTAN_APP ;;
    *) echo SYSDBA ;;
  esac
}

fb_die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# Debian keeps the engine's files (plugins, intl, messages) here.
fb_libdir() {
  local d
  for d in /usr/lib/x86_64-linux-gnu/firebird/3.0 /usr/lib/*/firebird/3.0; do
    if [ -e "$d/plugins/libEngine12.so" ]; then
      echo "$d"
      return 0
    fi
  done
  return 1
}

fb_isql() {
  if command -v isql-fb >/dev/null 2>&1; then
    echo isql-fb
  elif [ -x /usr/lib/x86_64-linux-gnu/firebird/3.0/bin/isql ]; then
    echo /usr/lib/x86_64-linux-gnu/firebird/3.0/bin/isql
  else
    return 1
  fi
}

# Runs an isql script given on stdin, stopping at the first error; prints
# isql's output (errors included) only when it fails.
fb_run_sql() {
  local isql out rc
  isql=$(fb_isql) || fb_die "isql-fb not found (install firebird3.0-utils)"
  set +e
  out=$("$isql" -q -b "$@" 2>&1)
  rc=$?
  set -e
  if [ "$rc" -ne 0 ]; then
    printf '%s\n' "$out" >&2
    return 1
  fi
  return 0
}

# Single quotes doubled, for a value inside an SQL string literal.
fb_sql_quote() {
  printf '%s' "${1//\'/\'\'}"
}
