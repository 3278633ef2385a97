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

# e2e_as_test_user SCRIPT ARGS...: runs SCRIPT in a private D-Bus session as an unprivileged user
# (desktop shells refuse root), with a fresh home and runtime folder exported before the bus
# starts, so services the bus activates see them too. Passes the script's status through.
e2e_as_test_user() {
  local script=$1; shift
  local user=quotabox-e2e
  if ! id "$user" >/dev/null 2>&1; then
    useradd --system --create-home --shell /usr/sbin/nologin "$user" 2>/dev/null || e2e_skip "cannot add the user $user"
  fi
  local work
  work=$(mktemp -d /tmp/quotabox-e2e-XXXXXX)
  mkdir -p "$work/home/config" "$work/home/data" "$work/home/cache" "$work/run"
  chown -R "$user" "$work"
  chmod 700 "$work/run"
  local sanitizer_env=() name status=0
  for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [[ -n "${!name:-}" ]] && sanitizer_env+=("$name=${!name}")
  done
  runuser -u "$user" -- env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
    XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" XDG_CACHE_HOME="$work/home/cache" \
    "${sanitizer_env[@]}" dbus-run-session -- bash "$script" "$@" || status=$?
  rm -rf "$work"
  return "$status"
}

# e2e_system_bus: where /run/systemd/seats exists without a system bus (containers), desktop
# shells wait for logind on it; an empty stand-in bus lets them start. Run inside the session.
e2e_system_bus() {
  [[ -d /run/systemd/seats && ! -S /run/dbus/system_bus_socket ]] || return 0
  cat >"$HOME/system-bus.conf" <<CONF
<busconfig><type>system</type><listen>unix:path=$XDG_RUNTIME_DIR/system_bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/><allow user="*"/></policy></busconfig>
CONF
  local pid
  pid=$(dbus-daemon --config-file="$HOME/system-bus.conf" --fork --print-pid) || e2e_fail "no stand-in system bus"
  e2e_track "$pid"
  export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/system_bus
}

# OCR of a crop of a PNG, scaled up so panel-sized text reads; prints what tesseract saw.
ocr_crop() {
  local png=$1 crop=$2 out
  out=$(mktemp /tmp/quotabox-ocr-XXXXXX)
  convert "$png" -crop "$crop" +repage -resize 400% -colorspace Gray -negate "$out.png" 2>/dev/null
  tesseract "$out.png" - --psm 7 2>/dev/null
  rm -f "$out" "$out.png"
}
