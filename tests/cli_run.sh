#!/bin/bash
# End-to-end runs of cep-atualiza against real databases, checked
# independently of the program: isql-fb reads the tables back and a checksum
# of them is compared with one computed from the release files.
#
#   cli_run.sh full CLI RELEASE_DIR DATABASE WORK_DIR
#       the carried release applied to a fresh sample database; a second run
#       answered No changes nothing and exits 3.
#   cli_run.sh cancel CLI GEN_RELEASE DATABASE WORK_DIR
#       Ctrl-C during the staging load and during the merge: exit 4, nothing
#       applied, no staging table, indexes active, release not recorded.
#   cli_run.sh many CLI GEN_RELEASE DATABASE WORK_DIR
#       one command over three databases (DATABASE, a second one whose stamp
#       is an older release, and one on a port nothing listens on): the table,
#       exit 1 (the unreachable one), the other two updated; then the same
#       with --json.
#
# DATABASE is a local path, or server:NAME for the file NAME of the private
# test server in $CEP_FBSERVER_DIR, reached over TCP.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(dirname "$HERE")"
MODE=$1 CLI=$2 DATA=$3 DATABASE=$4 WORK=$5
rm -rf "$WORK"
mkdir -p "$WORK"
if [[ "$DATABASE" == server:* ]]; then
    port=$(cat "$CEP_FBSERVER_DIR/port")
    DATABASE="127.0.0.1/$port:$CEP_FBSERVER_DIR/db/${DATABASE#server:}"
fi

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

isql() {
    local sql=$1
    printf 'SET HEADING OFF;\n%s\n' "$sql" |
        isql-fb -q -user SYSDBA -password corvinale "$DATABASE" | sed -e 's/^[[:space:]]*//' -e 's/[[:space:]]*$//' -e '/^$/d'
}

# The rows of TAB_CEP (each field padded to its width) and TAB_MUNI, as a checksum.
table_sums() {
    isql "SELECT NU_CEP || ID_TIPO_LOGR || TE_DESCRICAO_CEP || NM_BAIRRO || SG_UF || ID_MUNI_PREV || ID_PAF FROM TAB_CEP ORDER BY NU_CEP;" | sha256sum | cut -d' ' -f1
    isql "SELECT ID_MUNIC || NM_MUNIC FROM TAB_MUNI ORDER BY ID_MUNIC;" | sha256sum | cut -d' ' -f1
}

# The same checksums from the release files: every field with blanks and
# control characters removed at both ends, padded again to its width.
release_sums() {
    python3 - "$1" <<'EOF'
import hashlib, sys
fields = [(0, 8), (8, 10), (18, 70), (88, 60), (148, 2), (150, 5), (155, 8)]
def strip(s):
    return s.strip("".join(chr(c) for c in range(33)))
rows = []
with open(sys.argv[1] + "/TABCEP.txt", "rb") as f:
    for line in f:
        text = line.rstrip(b"\r\n").decode("ascii")
        rows.append("".join(strip(text[p:p + n]).ljust(n) for p, n in fields).rstrip())
rows.sort()
print(hashlib.sha256(("\n".join(rows) + "\n").encode()).hexdigest())
munis = []
with open(sys.argv[1] + "/TABMUNI.txt", "rb") as f:
    for line in f:
        text = line.rstrip(b"\r\n").decode("ascii")
        munis.append((text[:6] + text[6:36].ljust(30)).rstrip())
munis.sort()
print(hashlib.sha256(("\n".join(munis) + "\n").encode()).hexdigest())
EOF
}

expect_clean() {  # no staging table, both indexes active
    [ "$(isql "SELECT COUNT(*) FROM RDB\$RELATIONS WHERE RDB\$RELATION_NAME = 'TAB_CEP_TEMP';")" = 0 ] ||
        fail "TAB_CEP_TEMP left behind"
    [ "$(isql "SELECT COUNT(*) FROM RDB\$INDICES WHERE RDB\$INDEX_INACTIVE = 1;")" = 0 ] ||
        fail "an index left inactive"
    [ "$(isql "SELECT COUNT(*) FROM RDB\$INDICES WHERE RDB\$INDEX_NAME IN ('IDX_CEPS_LOGR', 'IDX_CEPS_MUNIC');")" = 2 ] ||
        fail "an index is missing"
}

stamp() { isql "SELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = 'DT_ATU_CEP';"; }

run_cli() {  # run_cli EXPECTED_STATUS ARGS...
    local expected=$1 status=0
    shift
    "$CLI" --work-dir "$WORK" "$@" "$DATABASE" </dev/null >"$WORK/out.txt" 2>"$WORK/err.txt" || status=$?
    [ "$status" = "$expected" ] || {
        cat "$WORK/err.txt" "$WORK/out.txt" >&2
        fail "exit status $status, expected $expected"
    }
}

case "$MODE" in
full)
    "$ROOT/tools/make-sample-db.sh" --force "$DATABASE"
    start=$(date +%s)
    run_cli 0
    echo "full run: $(($(date +%s) - start)) s; $(head -1 "$WORK/out.txt")"
    grep -q "^1054501 Registros atualizados\.$" "$WORK/out.txt" || fail "summary: $(cat "$WORK/out.txt")"
    expected=$(release_sums "$DATA")
    actual=$(table_sums)
    [ "$actual" = "$expected" ] || fail "tables differ from the release"
    expect_clean
    [ "$(stamp)" = "01/02/2018" ] || fail "release not recorded"
    # The primary key's statistics are those of today's table, not of the
    # empty one: one row in 1,054,501 per value.
    selectivity=$(isql "SELECT CAST(RDB\$STATISTICS * 1e9 AS INTEGER) FROM RDB\$INDICES WHERE RDB\$INDEX_NAME = 'PK_TAB_CEP';")
    [ "$selectivity" -gt 900 ] && [ "$selectivity" -lt 1000 ] || fail "PK_TAB_CEP statistics: $selectivity"
    [ ! -e "$WORK/Temp.txt" ] || fail "Temp.txt left behind"

    # The same release again, declined.
    run_cli 3 --no
    grep -q "Sobrep" "$WORK/err.txt" || fail "the question was not asked"
    [ "$(table_sums)" = "$expected" ] || fail "a declined run changed the tables"
    echo "full run checked: TAB_CEP and TAB_MUNI equal the release; a declined second run exits 3"
    ;;
cancel)
    RELEASE="$WORK/release"
    mkdir -p "$RELEASE"
    "$DATA" --out "$RELEASE" --records 150000 --seed 7 >/dev/null
    for stage in "Importando dados para tabela" "Atualizando tabela de CEP"; do
        "$ROOT/tools/make-sample-db.sh" --force "$DATABASE"
        before=$(table_sums)
        status=0
        "$CLI" --work-dir "$WORK" --release-dir "$RELEASE" "$DATABASE" </dev/null \
            >"$WORK/out.txt" 2>"$WORK/err.txt" &
        pid=$!
        for _ in $(seq 600); do  # at most 60 s
            grep -q "$stage" "$WORK/err.txt" 2>/dev/null && break
            sleep 0.1
        done
        grep -q "$stage" "$WORK/err.txt" || fail "never reached: $stage"
        sleep 0.3
        kill -INT "$pid"
        wait "$pid" || status=$?
        [ "$status" = 4 ] || {
            cat "$WORK/err.txt" "$WORK/out.txt" >&2
            fail "cancel during '$stage': exit $status, expected 4"
        }
        [ "$(table_sums)" = "$before" ] || fail "cancel during '$stage' changed the tables"
        expect_clean
        [ -z "$(stamp)" ] || fail "cancel during '$stage' recorded the release"
        echo "cancel during '$stage': exit 4, nothing applied"
    done
    ;;
many)
    RELEASE="$WORK/release"
    mkdir -p "$RELEASE"
    "$DATA" --out "$RELEASE" --records 20000 --seed 11 >/dev/null
    OLDER="${DATABASE%.fdb}_older.fdb"
    NOWHERE="127.0.0.1/$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'):/nowhere/lumexbd.fdb"
    for json in "" --json; do
        "$ROOT/tools/make-sample-db.sh" --force "$DATABASE"
        "$ROOT/tools/make-sample-db.sh" --force "$OLDER"
        printf "INSERT INTO QUELMAR_INI VALUES ('DT_ATU_CEP', '31/12/2017');\n" |
            isql-fb -q -user SYSDBA -password corvinale "$OLDER"
        status=0
        "$CLI" --work-dir "$WORK" --release-dir "$RELEASE" $json "$DATABASE" "$NOWHERE" "$OLDER" \
            </dev/null >"$WORK/out.txt" 2>"$WORK/err.txt" || status=$?
        [ "$status" = 1 ] || { cat "$WORK/err.txt" "$WORK/out.txt" >&2; fail "exit $status, expected 1"; }
        for db in "$DATABASE" "$OLDER"; do
            [ "$(DATABASE=$db stamp)" = "01/02/2018" ] || fail "$db not updated"
            [ "$(DATABASE=$db isql "SELECT COUNT(*) FROM TAB_CEP;")" = 20000 ] || fail "$db: TAB_CEP not loaded"
        done
        if [ -z "$json" ]; then
            grep -q "^Banco de dados  *Resultado  *Registros  *Tempo$" "$WORK/out.txt" || fail "no table: $(cat "$WORK/out.txt")"
            grep -q "^$DATABASE  *conclu.*do  *20000 " "$WORK/out.txt" || fail "table row of $DATABASE"
            grep -q "^$NOWHERE  *erro de acesso ao BD  *0 " "$WORK/out.txt" || fail "table row of the unreachable one"
            grep -q "^$OLDER  *conclu.*do  *20000 " "$WORK/out.txt" || fail "table row of $OLDER"
        else
            python3 - "$WORK/out.txt" "$DATABASE" "$NOWHERE" "$OLDER" <<'EOF'
import json, sys
runs = json.load(open(sys.argv[1]))
assert [r["database"] for r in runs] == sys.argv[2:], runs
assert [r["outcome"] for r in runs] == ["completed", "access-error", "completed"], runs
assert [r["exitCode"] for r in runs] == [0, 1, 0], runs
assert runs[0]["recordsUpdated"] == 20000 and runs[2]["applied"] is True, runs
assert runs[1]["error"] == "Erro de acesso ao BD" and runs[1]["detail"], runs
EOF
        fi
    done
    echo "three databases: the table, exit 1 for the unreachable one, the other two updated; the same in JSON"
    ;;
*)
    fail "unknown mode $MODE"
    ;;
esac
