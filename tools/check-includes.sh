#!/bin/bash
# Holds every #include of the project's sources to the direction the folders
# depend on one another, and keeps Firebird and Qt headers in their folders:
#
#   common/             common
#   database/           common, database
#   database/firebird/  common, database, database/firebird; Firebird headers
#   import/             common, database, import
#   resources/          common, database, import, resources
#   cli/                the above and cli
#   ui/                 the above (but cli) and ui; Qt headers
#   startup/            the above (but cli), ui and startup; Qt headers
#   bench/, tools/      what they measure or build, never tests/, ui/ or startup/
#   tests/              anything; Qt headers only under tests/ui/
#
#   tools/check-includes.sh [ROOT]
#
# Prints each include against the direction and exits 1 when there is one.
set -euo pipefail
ROOT=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
cd "$ROOT"

# The folders a file of folder $1 may include from.
allowed() {
  case "$1" in
    common) echo "common" ;;
    database) echo "common database" ;;
    database/firebird) echo "common database database/firebird" ;;
    import) echo "common database import" ;;
    resources) echo "common database import resources" ;;
    cli) echo "common database database/firebird import resources cli" ;;
    ui) echo "common database database/firebird import resources ui" ;;
    startup) echo "common database database/firebird import resources ui startup" ;;
    bench) echo "common database database/firebird import resources cli bench tools" ;;
    tools) echo "common tools" ;;
    tests | tests/ui) echo "*" ;;
  esac
}

# The folder of a path: database/firebird and tests/ui stand apart from
# their parents.
folder_of() {
  case "$1" in
    database/firebird/*) echo "database/firebird" ;;
    tests/ui/*) echo "tests/ui" ;;
    *) echo "${1%%/*}" ;;
  esac
}

failures=0
fail() {
  echo "$1: $2" >&2
  failures=$((failures + 1))
}

while IFS= read -r file; do
  from=$(folder_of "$file")
  permitted=$(allowed "$from")
  [ -n "$permitted" ] || continue
  while IFS= read -r line; do
    number=${line%%:*}
    include=${line#*:}
    where="$file:$number"
    if [[ "$include" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      target=$(folder_of "${BASH_REMATCH[1]}")
      [ -d "$target" ] || continue  # a header next to the file, or generated
      if [ "$permitted" != "*" ] && [[ " $permitted " != *" $target "* ]]; then
        fail "$where" "$from/ may not include $target/ (${BASH_REMATCH[1]})"
      fi
    elif [[ "$include" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^\>]+)\> ]]; then
      header=${BASH_REMATCH[1]}
      case "$header" in
        firebird/* | ibase.h | iberror.h)
          [ "$from" = database/firebird ] ||
            fail "$where" "Firebird header <$header> outside database/firebird/"
          ;;
        Q* | Qt*/*)
          case "$from" in
            ui | startup | tests/ui) ;;
            *) fail "$where" "Qt header <$header> outside the window folders" ;;
          esac
          ;;
      esac
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(find common database import resources cli ui startup bench tools tests \
  -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' \) 2>/dev/null | sort)

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) against the direction of the folders" >&2
  exit 1
fi
echo "includes follow the direction of the folders"
