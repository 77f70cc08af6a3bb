#!/bin/bash
# The include check against planted includes: each line of the table is a file
# and one include in it; the check must refuse it (or accept it, for "ok").
set -euo pipefail
CHECK=$1
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

cases=(
  "fail|database/Indexes.cpp|#include \"import/RunContext.h\""
  "fail|common/Regional.h|#include \"database/Engine.h\""
  "fail|common/AnsiText.cpp|#include \"import/DataSets.h\""
  "fail|import/StagingLoad.cpp|#include <firebird/Interface.h>"
  "fail|database/Engine.cpp|#include <ibase.h>"
  "fail|import/ImportRun.cpp|#include <QString>"
  "fail|database/Merge.cpp|#include \"database/firebird/FirebirdConnection.h\""
  "fail|ui/MainForm.cpp|#include \"cli/ConsoleView.h\""
  "fail|tests/test_run.cpp|#include <QtWidgets/QWidget>"
  "ok|database/firebird/FirebirdConnection.cpp|#include <firebird/Interface.h>"
  "ok|import/ImportRun.cpp|#include \"database/Merge.h\""
  "ok|ui/MainForm.cpp|#include <QWidget>"
  "ok|tests/ui/test_window.cpp|#include <QTest>"
)
status=0
for c in "${cases[@]}"; do
  IFS='|' read -r expected file include <<<"$c"
  rm -rf "$TMP/tree"
  for d in common database/firebird import resources cli ui startup tests/ui; do
    mkdir -p "$TMP/tree/$d"
  done
  mkdir -p "$TMP/tree/$(dirname "$file")"
  printf '%s\n' "$include" >"$TMP/tree/$file"
  if "$CHECK" "$TMP/tree" >/dev/null 2>&1; then got=ok; else got=fail; fi
  if [ "$got" != "$expected" ]; then
    echo "FAIL: $file with '$include': $got, expected $expected" >&2
    status=1
  fi
done
exit $status
