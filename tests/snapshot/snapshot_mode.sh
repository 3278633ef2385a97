#!/usr/bin/env bash
# quotabox --snapshot DIR end to end: every file a PNG of its size, all UI checks true, the strip
# tinted black/white for a template glyph and coloured for "high". Runs without a display.
# Usage: snapshot_mode.sh QUOTABOX
set -euo pipefail
quotabox=$1
home=$(mktemp -d /tmp/quotabox-snapshot-XXXXXX)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
unset DISPLAY WAYLAND_DISPLAY
out=$home/shots

fail() { echo "FAIL: $*" >&2; exit 1; }

printed=$("$quotabox" --snapshot "$out" --open 2>"$home/stderr") || fail "exit status $? ($(cat "$home/stderr"))"
[[ "$printed" == "스냅샷 저장 위치: $out" ]] || fail "printed '$printed'"
[[ $(stat -c %a "$out") == 700 ]] || fail "output folder mode $(stat -c %a "$out")"

size_of() { identify -format '%m %w %h' "$1" 2>/dev/null; }
expect_popover() {
  local info
  info=$(size_of "$out/$1") || fail "$1 missing or unreadable"
  read -r format width height <<<"$info"
  [[ $format == PNG && $width == 720 && $height -gt 100 ]] || fail "$1 is '$info'"
}
expect_file_mode() { [[ $(stat -c %a "$out/$1") == 600 ]] || fail "$1 mode $(stat -c %a "$out/$1")"; }

for name in normal high error signedout stale mixed retained trends; do
  for look in light dark; do expect_popover "popover-$name-$look.png"; done
  [[ $(size_of "$out/menubar-$name.png") == "PNG 480 144" ]] || fail "menubar-$name.png: $(size_of "$out/menubar-$name.png")"
done
for look in light dark; do
  for page in settings-normal settings-high popover-trends-expanded settings-clear-confirm settings-history-off; do
    expect_popover "$page-$look.png"
  done
done
expect_popover popover-history-off-light.png
expect_file_mode popover-normal-light.png
expect_file_mode ui-checks.json

# The settings pages differ between the light and the dark look.
[[ $(compare -metric AE "$out/settings-normal-light.png" "$out/settings-normal-dark.png" null: 2>&1 || true) != 0 ]] ||
  fail "light and dark settings pages are the same picture"

python3 - "$out/ui-checks.json" <<'PY' || fail "ui-checks.json"
import json, sys
text = open(sys.argv[1]).read()
checks = json.loads(text)
expected = {"expand", "accordion", "collapse", "historyOffHidesTrends", "displayOffKeepsRecording", "deleteCancel",
            "deleteWaits", "deleteFinished", "reopenCompact", "fullBeforeInsufficient", "staleFullHidden",
            "resetFullHidden", "refreshSetting"}
assert set(checks) == expected, sorted(set(checks) ^ expected)
assert all(value is True for value in checks.values()), checks
assert text == json.dumps(checks, indent=2, sort_keys=True, ensure_ascii=False) + "\n", "not pretty with sorted keys"
PY

# Pixel counts of one strip cell (style row 0..2, column light/dark) by colour class.
cell_counts() {
  local file=$1 row=$2 column=$3
  local x=$((column == 0 ? 0 : 240)) y=$((row * 48))
  convert "$file" -crop "240x48+$x+$y" +repage -depth 8 txt:- | python3 -c '
import re, sys
black = white = colour = 0
for line in sys.stdin:
    m = re.search(r"\((\d+),(\d+),(\d+)", line)
    if not m or line.startswith("#"): continue
    r, g, b = (int(v) for v in m.groups())
    if r < 40 and g < 40 and b < 40: black += 1
    elif r > 245 and g > 245 and b > 245: white += 1
    elif max(r, g, b) - min(r, g, b) > 80: colour += 1
print(black, white, colour)'
}
for row in 0 1 2; do
  read -r black white colour <<<"$(cell_counts "$out/menubar-normal.png" "$row" 0)"
  ((black > 20 && colour == 0)) || fail "normal strip row $row light: black=$black colour=$colour"
  read -r black white colour <<<"$(cell_counts "$out/menubar-normal.png" "$row" 1)"
  ((white > 20 && colour == 0)) || fail "normal strip row $row dark: white=$white colour=$colour"
  for column in 0 1; do
    read -r black white colour <<<"$(cell_counts "$out/menubar-high.png" "$row" "$column")"
    ((colour > 20)) || fail "high strip row $row column $column has no coloured pixels"
  done
done

# The user's own settings were never touched: only the snapshot suite's folder exists, and empty.
[[ ! -e "$XDG_CONFIG_HOME/Quotabox/Quotabox.snapshot.json" ]] || fail "snapshot suite left behind"
echo "snapshot mode ok"
