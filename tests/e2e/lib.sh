# Shared helpers of the end-to-end tray tests. Sourced, not run.

E2E_SKIP=77

e2e_log() { echo "e2e: $*" >&2; }
e2e_fail() { echo "e2e: FAIL: $*" >&2; exit 1; }
e2e_skip() { echo "e2e: SKIP: $*" >&2; exit "$E2E_SKIP"; }

# Processes to stop on exit, newest first.
e2e_pids=()
e2e_track() { e2e_pids=("$1" "${e2e_pids[@]}"); }
e2e_cleanup() {
  local pid
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${e2e_pids[@]}"; do
    for _ in $(seq 1 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
}

# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds; false on timeout.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  while ((SECONDS < deadline)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  "$@" >/dev/null 2>&1
}

bus_has() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# Pixels of a crop as "x y r g b" lines (8-bit channels).
crop_pixels() {
  convert "$1" -crop "$2" +repage -depth 8 -alpha off txt:- 2>/dev/null |
    sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([0-9.]*\),\([0-9.]*\),\([0-9.]*\).*/\1 \2 \3 \4 \5/p'
}

# The glyph's alert colours: orange about (255, 149..159, 0..10), red about (255, 59..69, 48..58).
e2e_colour_test='
  function is(want, r, g, b) {
    if (want == "orange") return r >= 230 && g >= 120 && g <= 185 && b <= 60
    return r >= 220 && g >= 20 && g <= 110 && b <= 100
  }'

# count_colour PNG WxH+X+Y orange|red: how many pixels of the crop have that colour.
count_colour() {
  crop_pixels "$1" "$2" | awk -v want="$3" "$e2e_colour_test"'
    is(want, $3, $4, $5) { n++ }
    END { print n + 0 }'
}

# find_colour PNG WxH+X+Y orange|red: "x y" of the first such pixel, relative to the crop.
find_colour() {
  crop_pixels "$1" "$2" | awk -v want="$3" "$e2e_colour_test"'
    is(want, $3, $4, $5) { print $1, $2; exit }'
}
