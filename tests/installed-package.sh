#!/bin/bash
# The Debian package, built from this build tree and unpacked into a scratch
# root: its dependencies, its files and nothing else, the desktop entry and
# the manual page, the installed --version and --help, and an update of a
# sample database with the release the installed program carries, run with
# no --work-dir by a user who may not write the program's folder. That user
# is nobody when the test runs as root, else the test's own user with the
# unpacked bindir made read-only.
#
#   installed-package.sh BUILD_DIR VERSION SCRATCH
#
# SCRATCH receives the package, made by $CPACK (default: cpack on the
# PATH); the scratch root and the run's folders go to a folder of their own
# under /tmp, reachable by nobody, removed at the end.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT_DIR="$(dirname "$HERE")"
BUILD=$1 VERSION=$2 SCRATCH=$3
RELEASE_DATE=01/02/2018

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"
RUN=$(mktemp -d /tmp/cep-package.XXXXXX)
trap 'chmod -R u+w "$RUN"; rm -rf "$RUN"' EXIT
chmod 755 "$RUN"

# ---------------------------------------------------------------- the package
(cd "$BUILD" && "${CPACK:-cpack}" --config CPackConfig.cmake -G DEB -B "$SCRATCH" >"$SCRATCH/cpack.txt") ||
    { cat "$SCRATCH/cpack.txt" >&2; fail "cpack"; }
deb=$(ls "$SCRATCH"/cep-atualiza_"$VERSION"_*.deb) || fail "no cep-atualiza_${VERSION}_*.deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The embedded engine is named by hand; the libraries come from dpkg-shlibdeps.
for package in firebird3.0-server-core libfbclient2 libqt6widgets6 libzstd1 libc6; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "$package missing from Depends"
done

ROOT=$RUN/root
dpkg -x "$deb" "$ROOT"
expected=$(
    cat <<'EOF'
usr/bin/cep-atualiza
usr/bin/cep-atualiza-gui
usr/share/applications/cep-atualiza.desktop
usr/share/icons/hicolor/128x128/apps/cep-atualiza.png
usr/share/icons/hicolor/16x16/apps/cep-atualiza.png
usr/share/icons/hicolor/256x256/apps/cep-atualiza.png
usr/share/icons/hicolor/32x32/apps/cep-atualiza.png
usr/share/icons/hicolor/48x48/apps/cep-atualiza.png
usr/share/icons/hicolor/64x64/apps/cep-atualiza.png
usr/share/icons/hicolor/scalable/apps/cep-atualiza.svg
usr/share/man/man1/cep-atualiza.1.gz
EOF
)
actual=$(cd "$ROOT" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "files of the package:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
for size in 16 32 48 64 128 256; do
    file "$ROOT/usr/share/icons/hicolor/${size}x${size}/apps/cep-atualiza.png" |
        grep -q "PNG image data, $size x $size" || fail "the ${size}x${size} icon is not $size pixels"
done

desktop=$ROOT/usr/share/applications/cep-atualiza.desktop
desktop-file-validate "$desktop" || fail "desktop entry"
grep -qx "Exec=cep-atualiza-gui" "$desktop" || fail "desktop entry does not start the window"
grep -qx "Icon=cep-atualiza" "$desktop" || fail "desktop entry names another icon"

# ---------------------------------------------------------------- --version, --help, man
CLI=$ROOT/usr/bin/cep-atualiza
[ "$("$CLI" --version)" = "cep-atualiza $VERSION (dados de $RELEASE_DATE)" ] ||
    fail "--version says: $("$CLI" --version)"
help=$("$CLI" --help) || fail "--help exits $?"
[[ "$help" == "Uso: cep-atualiza "* ]] || fail "--help says: $help"

# The page renders without a warning and carries every option the help has.
page=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$ROOT/usr/share/man/man1/cep-atualiza.1.gz" \
    2>"$RUN/man-warnings.txt") || fail "man cannot render the page"
[ ! -s "$RUN/man-warnings.txt" ] || fail "man page warnings: $(cat "$RUN/man-warnings.txt")"
for section in NOME SINOPSE DESCRIÇÃO OPÇÕES "CÓDIGO DE SAÍDA" ARQUIVOS EXEMPLOS; do
    grep -qx "$section" <<<"$page" || fail "no section $section in the manual page"
done
options=$(sed -n '/^OPÇÕES$/,/^[^ ]/p' <<<"$page")
for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qE -- "(^| )$option([ ,]|\$)" <<<"$options" || fail "option $option not in OPÇÕES"
done
# The exit codes are listed twice, in the help and in the page's own
# section: every code the help gives has its entry there.
codes=$(sed -n '/^Código de saída/,/^$/p' <<<"$help" | grep -oE '(^|[:;] )[0-9]+ ' | tr -dc '0-9\n')
[ -n "$codes" ] || fail "no exit codes found in --help"
statuses=$(sed -n '/^CÓDIGO DE SAÍDA$/,/^[^ ]/p' <<<"$page")
for code in $codes; do
    grep -qE "^ +$code +[^ ]" <<<"$statuses" || fail "exit code $code not in CÓDIGO DE SAÍDA"
done

# ---------------------------------------------------------------- an installed run
DB_DIR=$RUN/db
mkdir -p "$DB_DIR" "$RUN/home" "$RUN/lock" "$RUN/cwd"
DATABASE=$DB_DIR/lumexbd.fdb
# The embedded engine keeps its lock files in FIREBIRD_LOCK, by default
# /tmp/firebird: the server's, which only its group may write. The run gets
# a lock folder of its own; so does the whole test when it is not root's.
[ "$(id -u)" = 0 ] || export FIREBIRD_LOCK=$RUN/lock
"$ROOT_DIR/tools/make-sample-db.sh" --force "$DATABASE"
if [ "$(id -u)" = 0 ]; then
    # The run's own folders (and the database) are nobody's; the unpacked
    # program stays root's, as an installed one is.
    chown -R nobody:nogroup "$DB_DIR" "$RUN/home" "$RUN/lock"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    chmod a-w "$ROOT/usr/bin"
    as_user=()
fi
start=$(date +%s)
status=0
(cd "$RUN/cwd" && "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$RUN/home" \
    XDG_CACHE_HOME="$RUN/home/cache" FIREBIRD_LOCK="$RUN/lock" \
    "$CLI" "$DATABASE" </dev/null >"$RUN/out.txt" 2>"$RUN/err.txt") || status=$?
[ "$status" = 0 ] || fail "installed run: exit $status"$'\n'"$(cat "$RUN/err.txt" "$RUN/out.txt")"
echo "installed run: $(($(date +%s) - start)) s; $(head -1 "$RUN/out.txt")"

stamp=$(printf 'SET HEADING OFF;\nSELECT TX_DESCRICAO FROM QUELMAR_INI WHERE ID_ITEM = '"'"'DT_ATU_CEP'"'"';\n' |
    isql-fb -q -user SYSDBA "$DATABASE" | tr -d '[:space:]')
[ "$stamp" = "$RELEASE_DATE" ] || fail "release not recorded: '$stamp'"

# The program made the cache folder (it did not exist before), only its
# user may enter it, no data set is left in it and whatever is left is its
# user's only; the program's folder and the current folder got nothing.
CACHE=$RUN/home/cache/cep-atualiza
[ -d "$CACHE" ] || fail "no cache folder $CACHE"
[ "$(stat -c %a "$CACHE")" = 700 ] || fail "cache folder mode $(stat -c %a "$CACHE")"
left=$(find "$CACHE" -name 'Temp.txt' -o -name 'TempExc.txt')
[ -z "$left" ] || fail "left in the cache folder: $left"
wide=$(find "$CACHE" -mindepth 1 \( -type f ! -perm 600 \) -o \( -type d ! -perm 700 \))
[ -z "$wide" ] || fail "left in the cache folder for others to read: $wide"
[ "$(ls -A "$ROOT/usr/bin")" = $'cep-atualiza\ncep-atualiza-gui' ] ||
    fail "files written to the program's folder: $(ls -A "$ROOT/usr/bin")"
[ -z "$(ls -A "$RUN/cwd")" ] || fail "files written to the current folder: $(ls -A "$RUN/cwd")"
echo "package checked: $(basename "$deb")"
