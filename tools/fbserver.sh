#!/bin/bash
# A private Firebird 3 server for the tests, kept entirely under one folder.
#
#   tools/fbserver.sh start DIR   start it (or keep the one already running
#                                 from DIR) on 127.0.0.1 at a free port
#   tools/fbserver.sh stop DIR    stop it; succeeds also when none runs
#   tools/fbserver.sh status DIR  exit 0 when it runs and accepts logins
#   tools/fbserver.sh log DIR     print what the server logged since start
#
# Under DIR: root/ (its FIREBIRD folder: firebird.conf, databases.conf and its
# own security3.fdb with the users SYSDBA, LUMEX_APP and VORTAN_APP), lock/
# (FIREBIRD_LOCK), tmp/, db/ (for the databases the tests create), and the
# files port, pid, env (CEP_FBSERVER_PORT=..., CEP_FBSERVER_DB=...),
# server.out (the server's stdout and stderr) and firebird.log.
#
# The Debian build writes the server log to a fixed file,
# /var/log/firebird/firebird3.0.log, shared by every server on the machine;
# this script remembers where that file ended at start and copies the lines
# written since to DIR/firebird.log on stop and on failure.
set -euo pipefail

# shellcheck source=tools/lib-firebird.sh
. "$(dirname "$0")/lib-firebird.sh"

SERVER_BIN=/usr/sbin/firebird
SYSTEM_LOG=/var/log/firebird/firebird3.0.log
START_TIMEOUT=${FBSERVER_START_TIMEOUT:-30}

usage() {
  echo "usage: $0 start|stop|status|log DIR" >&2
  exit 2
}

[ $# -eq 2 ] || usage
CMD=$1
DIR=$2

abs_dir() {
  mkdir -p "$1"
  (cd "$1" && pwd -P)
}

server_env() {
  export FIREBIRD="$DIR/root" FIREBIRD_LOCK="$DIR/lock" FIREBIRD_TMP="$DIR/tmp"
}

alive() {
  [ -d "/proc/$1" ] && [ "$(awk '/^State:/ {print $2}' "/proc/$1/status" 2>/dev/null)" != Z ]
}

# The pid in DIR/pid when that process is still our server binary.
running_pid() {
  local pid exe
  [ -s "$DIR/pid" ] || return 1
  pid=$(cat "$DIR/pid")
  [[ "$pid" =~ ^[0-9]+$ ]] || return 1
  [ -d "/proc/$pid" ] || return 1
  exe=$(readlink "/proc/$pid/exe" 2>/dev/null || true)
  if [ -z "$exe" ]; then
    exe=$(tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n1 || true)
  fi
  [ "$exe" = "$SERVER_BIN" ] || return 1
  alive "$pid" || return 1
  echo "$pid"
}

accepts_login() {
  local port=$1
  fbsvcmgr "127.0.0.1/$port:service_mgr" user SYSDBA password "$(fb_password_for SYSDBA)" \
    info_server_version >/dev/null 2>&1
}

log_size() {
  if [ -r "$SYSTEM_LOG" ]; then stat -c %s "$SYSTEM_LOG"; else echo 0; fi
}

# Copies the server log lines written since start into DIR/firebird.log.
save_log() {
  local from=0
  [ -s "$DIR/log.offset" ] && from=$(cat "$DIR/log.offset")
  if [ -r "$SYSTEM_LOG" ] && [ "$(log_size)" -ge "$from" ]; then
    tail -c +"$((from + 1))" "$SYSTEM_LOG" >"$DIR/firebird.log" 2>/dev/null || true
  fi
  [ -f "$DIR/firebird.log" ] || : >"$DIR/firebird.log"
}

print_log() {
  save_log
  echo "--- server log ($SYSTEM_LOG since start, saved as $DIR/firebird.log)" >&2
  cat "$DIR/firebird.log" >&2
  echo "--- server stdout/stderr ($DIR/server.out)" >&2
  cat "$DIR/server.out" >&2 2>/dev/null || true
}

free_port() {
  if command -v python3 >/dev/null 2>&1; then
    python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()' && return 0
  fi
  local port
  for port in $(seq 30500 30999); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# True when something other than process $2 listens on TCP port $1: the
# server then keeps retrying its bind for most of a minute instead of failing.
port_held_by_other() {
  local port=$1 pid=$2 inode hex fds
  hex=$(printf '%04X' "$port")
  fds=$(ls -l "/proc/$pid/fd" 2>/dev/null || true)
  # shellcheck disable=SC2013 # one inode number per line
  for inode in $(awk -v p=":$hex" '$4 == "0A" && substr($2, length($2) - 4) == p {print $10}' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null); do
    case "$fds" in
      *"socket:[$inode]"*) ;;
      *) return 0 ;;
    esac
  done
  return 1
}

# Local addresses (hex, as in /proc/net/tcp*) of the sockets process $1
# listens on.
listen_addrs() {
  local pid=$1 inodes
  # shellcheck disable=SC2012 # the link targets are what is read here
  inodes=$(ls -l "/proc/$pid/fd" 2>/dev/null | sed -n 's/.*socket:\[\([0-9]*\)\]$/\1/p' | tr '\n' ' ')
  awk -v inodes=" $inodes" '$4 == "0A" && index(inodes, " " $10 " ") {print $2}' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}

write_config() {
  local port=$1
  cat >"$DIR/root/firebird.conf" <<EOF
# Private test server; everything it uses lives under $DIR.
ServerMode = Super
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
RemoteAuxPort = 0
SecurityDatabase = $DIR/root/security3.fdb
DatabaseAccess = Full
UdfAccess = None
TempDirectories = $DIR/tmp
AuthServer = Srp
AuthClient = Srp
UserManager = Srp
WireCrypt = Enabled
# Seconds: a client that does not complete its connect, a dead client.
ConnectionTimeout = 10
DummyPacketInterval = 60
DeadlockTimeout = 10
EOF
  cat >"$DIR/root/databases.conf" <<EOF
security.db = $DIR/root/security3.fdb
{
	RemoteAccess = false
}
EOF
}

# A fresh FIREBIRD folder with its own security database. Users are set
# through the embedded engine, before the server runs: once it does, it holds
# the security database exclusively.
make_root() {
  local libdir f sec
  libdir=$(fb_libdir) || fb_die "Firebird 3 engine files not found (install firebird3.0-server)"
  rm -rf "$DIR/root" "$DIR/lock" "$DIR/tmp"
  mkdir -p "$DIR/root" "$DIR/lock" "$DIR/tmp" "$DIR/db"
  for f in plugins UDF lib firebird.msg plugins.conf fbtrace.conf; do
    if [ -e "$libdir/$f" ]; then ln -s "$libdir/$f" "$DIR/root/$f"; fi
  done
  # fbintl.conf names the character set module as $(root)/intl/fbintl, and
  # the engine does not accept it through a symbolic link (every character
  # set outside the built-in ones, WIN1252 among them, is then "not
  # installed"): a copy it is.
  mkdir "$DIR/root/intl"
  cp "$libdir/intl/libfbintl.so" "$DIR/root/intl/"
  ln -s "$libdir/intl/fbintl.conf" "$DIR/root/intl/fbintl.conf"
  write_config 0
  sec="$DIR/root/security3.fdb"
  {
    echo "CREATE DATABASE '$(fb_sql_quote "$sec")' USER 'SYSDBA';"
    echo "INPUT /usr/share/firebird/3.0/security.sql;"
    # The legacy user table of that script is not used (Srp only).
    echo "DELETE FROM PLG\$USERS;"
    echo "COMMIT;"
    for u in $FB_USERS; do
      echo "CREATE USER $u PASSWORD '$(fb_password_for "$u")' USING PLUGIN Srp;"
    done
    # Firebird 3 lets only SYSDBA create databases unless granted here.
    for u in $FB_USERS; do
      [ "$u" = SYSDBA ] || echo "GRANT CREATE DATABASE TO USER $u;"
    done
    echo "COMMIT;"
  } | (server_env && fb_run_sql) || fb_die "cannot create the security database $sec"
}

# Starts the binary on one port; 0 once it accepts logins, 1 when it died
# (for instance because the port was taken meanwhile), 2 on timeout.
launch() {
  local port=$1 pid addrs deadline
  write_config "$port"
  log_size >"$DIR/log.offset"
  # A session of its own, all descriptors redirected: the server outlives
  # the caller and holds none of its pipes open.
  (server_env && exec setsid "$SERVER_BIN" </dev/null >"$DIR/server.out" 2>&1) &
  pid=$!
  echo "$pid" >"$DIR/pid"
  deadline=$((SECONDS + START_TIMEOUT))
  while [ "$SECONDS" -lt "$deadline" ]; do
    if ! alive "$pid"; then
      wait "$pid" 2>/dev/null || true
      return 1
    fi
    if port_held_by_other "$port" "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
      return 1
    fi
    if accepts_login "$port"; then
      # -p on the command line, for one, would make it listen on every
      # interface: insist on the loopback address alone.
      addrs=$(listen_addrs "$pid")
      if [ -z "$addrs" ] || grep -qv '^0100007F:' <<<"$addrs"; then
        echo "fbserver: the server listens on other addresses than 127.0.0.1: $addrs" >&2
        kill -KILL "$pid" 2>/dev/null || true
        exit 1
      fi
      echo "$port" >"$DIR/port"
      printf 'CEP_FBSERVER_PORT=%s\nCEP_FBSERVER_DB=%s\n' "$port" "$DIR/db" >"$DIR/env"
      return 0
    fi
    sleep 0.1
  done
  return 2
}

do_stop() {
  local pid
  if pid=$(running_pid); then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      running_pid >/dev/null || break
      sleep 0.1
    done
    if running_pid >/dev/null; then
      kill -KILL "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        running_pid >/dev/null || break
        sleep 0.1
      done
    fi
    running_pid >/dev/null && fb_die "server pid $pid does not stop"
    save_log
  fi
  rm -f "$DIR/pid" "$DIR/port" "$DIR/env"
}

do_start() {
  local port attempt rc
  if running_pid >/dev/null && [ -s "$DIR/port" ] && accepts_login "$(cat "$DIR/port")"; then
    echo "fbserver: already running on 127.0.0.1:$(cat "$DIR/port") (pid $(cat "$DIR/pid"))"
    return 0
  fi
  do_stop
  [ -x "$SERVER_BIN" ] || fb_die "$SERVER_BIN missing (install firebird3.0-server)"
  command -v fbsvcmgr >/dev/null 2>&1 || fb_die "fbsvcmgr missing (install firebird3.0-utils)"
  make_root
  for attempt in 1 2 3 4 5; do
    port=$(free_port) || fb_die "no free TCP port found"
    rc=0
    launch "$port" || rc=$?
    if [ "$rc" -eq 0 ]; then
      echo "fbserver: listening on 127.0.0.1:$port (pid $(cat "$DIR/pid"))"
      return 0
    fi
    if [ "$rc" -eq 2 ]; then
      echo "fbserver: no login accepted on port $port within ${START_TIMEOUT}s" >&2
      print_log
      do_stop
      exit 1
    fi
    echo "fbserver: no server on port $port (taken, or the server exited; attempt $attempt)" >&2
    save_log
  done
  print_log
  rm -f "$DIR/pid"
  exit 1
}

if [ "$CMD" != start ] && [ ! -d "$DIR" ]; then
  [ "$CMD" = stop ] && exit 0
  exit 1
fi
DIR=$(abs_dir "$DIR")
case "$CMD" in
  start) do_start ;;
  stop) do_stop ;;
  status)
    running_pid >/dev/null && [ -s "$DIR/port" ] && accepts_login "$(cat "$DIR/port")"
    ;;
  log)
    save_log
    cat "$DIR/firebird.log"
    ;;
  *) usage ;;
esac
