#!/usr/bin/env bash
# The layer check refuses a forbidden include in any spelling the compiler accepts, names the file
# and line, and passes clean sources and headers whose names only contain a refused word.
set -uo pipefail
script=${1:?usage: refuse-includes-test.sh PATH-TO-RefuseIncludes.cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

check() {  # check EXPECT(pass|refuse) LABEL SOURCE-TEXT
  local expect=$1 label=$2
  printf '%s\n' '#include <QString>' "$3" 'int x;' >"$work/source.cpp"
  printf 'set(LAYER Core)\nset(PATTERN [==[QtGui|QWidget|tray/]==])\nset(SOURCES %s)\n' "$work/source.cpp" >"$work/list.cmake"
  local out status=0
  out=$(cmake -DLIST_FILE="$work/list.cmake" -P "$script" 2>&1) || status=$?
  if [[ $expect == pass ]]; then
    [[ $status == 0 ]] || fail "$label: refused: $out"
  else
    [[ $status != 0 ]] || fail "$label: let through"
    [[ "$out" == *"Core must not include"*"source.cpp"* ]] || fail "$label: message does not name the layer and file: $out"
  fi
}

check refuse "angle brackets" '#include <QWidget>'
check refuse "quotes and a folder" '#include "tray/TrayItem.h"'
check refuse "spaces around the hash" '  #  include <QtGui/QImage>'
check pass "allowed header" '#include <QStringList>'
check pass "refused word inside another name" '#include "glyph/MyQWidgetFree.h"'
check pass "commented out" '// #include <QWidget>'

[[ $failures == 0 ]] && echo "refuse-includes: all cases passed"
exit $((failures > 0))
