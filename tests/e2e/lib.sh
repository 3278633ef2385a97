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

# e2e_need skip|fail TOOL...: every tool is installed, else the test is skipped or fails.
e2e_need() {
  local how=$1 tool; shift
  for tool in "$@"; do
    command -v "$tool" >/dev/null && continue
    [[ $how == skip ]] && e2e_skip "$tool is not installed"
    e2e_fail "$tool is not installed (scripts/bootstrap installs it)"
  done
}

# e2e_enter [--as-caller] QUOTABOX ARTIFACT_DIR: the calling script's session. Outside one, runs the
# script again in a private D-Bus session with a fresh home and runtime folder and exits with its
# status; as root, as an unprivileged test user (desktop shells and sway refuse root) unless
# --as-caller. Inside, sets quotabox and artifacts and stops tracked processes on exit.
e2e_enter() {
  local as_caller=false
  [[ $1 == --as-caller ]] && { as_caller=true; shift; }
  quotabox=$1 artifacts=$2
  if [[ -n "${E2E_INSIDE:-}" ]]; then
    trap e2e_cleanup EXIT
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
    return 0
  fi
  mkdir -p "$artifacts"
  chmod 755 "$artifacts"
  local work as_user=() name sanitizer_env=() status=0
  work=$(mktemp -d /tmp/quotabox-e2e-XXXXXX)
  mkdir -p "$work/home" "$work/run"
  chmod 700 "$work/run"
  if [[ $(id -u) -eq 0 ]] && ! $as_caller; then
    local user=quotabox-e2e
    if ! id "$user" >/dev/null 2>&1; then
      useradd --system --create-home --shell /usr/sbin/nologin "$user" 2>/dev/null || e2e_skip "cannot add the user $user"
    fi
    # Also the images an earlier run left, which this run replaces.
    chown -R "$user" "$work" "$artifacts"
    as_user=(runuser -u "$user" --)
  fi
  # Sanitizer builds keep their options (suppressions) across the clean environment.
  for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
    [[ -n "${!name:-}" ]] && sanitizer_env+=("$name=${!name}")
  done
  "${as_user[@]}" env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" E2E_INSIDE=1 \
    XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" XDG_CACHE_HOME="$work/home/cache" \
    "${sanitizer_env[@]}" dbus-run-session -- bash "$0" "$quotabox" "$artifacts" || status=$?
  rm -rf "$work"
  exit "$status"
}

# e2e_keep_logs PREFIX: on exit, also copies the session's *.log files into the artifacts.
e2e_keep_logs() {
  trap 'e2e_cleanup; for f in "$HOME"/*.log; do cp "$f" "$artifacts/'"$1"'-${f##*/}" 2>/dev/null || true; done' EXIT
}

# e2e_thresholds WARNING CRITICAL: the settings quotabox starts with.
e2e_thresholds() {
  mkdir -p "$XDG_CONFIG_HOME/Quotabox"
  printf '{"warningThreshold": %d, "criticalThreshold": %d}\n' "$1" "$2" \
    >"$XDG_CONFIG_HOME/Quotabox/com.orrisfen.Quotabox.json"
}

# e2e_start LOG ARGS...: starts quotabox with ARGS, its output in LOG; its pid in qpid.
e2e_start() {
  local log=$1; shift
  "$quotabox" "$@" >"$log" 2>&1 &
  qpid=$!
  e2e_track "$qpid"
}

# e2e_xvfb WxH: a fresh X display of that size for the rest of the script, Qt on X11.
e2e_xvfb() {
  local n display=""
  for n in $(seq 140 220); do
    if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
  done
  [[ -n "$display" ]] || e2e_fail "no free X display"
  Xvfb "$display" -screen 0 "$1x24" -nolisten tcp >/dev/null 2>&1 &
  e2e_track $!
  export DISPLAY=$display QT_QPA_PLATFORM=xcb
  unset WAYLAND_DISPLAY
  wait_for 10 xdotool getdisplaygeometry || e2e_fail "Xvfb did not start"
}

# e2e_trayer: an XEmbed tray, 24 px high, at the top right of the X display.
e2e_trayer() {
  trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x000000 \
    --SetDockType true >/dev/null 2>&1 &
  e2e_track $!
  sleep 0.5
}

# e2e_tray_icon SHOT LOG: waits for orange glyph pixels in the tray's 24-px strip (LOG is shown
# when none come) and sets ox, oy to the first of them.
e2e_tray_icon() {
  orange_in_tray() { import -window root "$1" && (($(count_colour "$1" 1280x24+0+0 orange) >= 5)); }
  wait_for 20 orange_in_tray "$1" || { cat "$2" >&2; e2e_fail "no orange glyph pixels in trayer (see $1)"; }
  read -r ox oy < <(find_colour "$1" 1280x24+0+0 orange)
}

# e2e_popover_id: the X window id of the open popover (a visible "Quotabox" window 360 px wide).
e2e_popover_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Quotabox$' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 360x' && { echo "$id"; return 0; }
  done
  return 1
}

# e2e_settled COMMAND: COMMAND's output once it gave the same twice, 0.3 s apart (a window at rest).
e2e_settled() {
  local last="" now
  for _ in $(seq 1 30); do
    now=$("$1" 2>/dev/null || true)
    [[ -n "$now" && "$now" == "$last" ]] && { echo "$now"; return 0; }
    last=$now
    sleep 0.3
  done
  return 1
}

# e2e_sway WxH [OUTPUT OPTIONS]: headless sway with one output of that size; skips when sway cannot start.
e2e_sway() {
  export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
  unset DISPLAY WAYLAND_DISPLAY SWAYSOCK
  printf 'output HEADLESS-1 resolution %s position 0 0 %s\nxwayland disable\ndefault_border none\n' "$1" "${2:-}" \
    >"$HOME/sway.conf"
  sway -c "$HOME/sway.conf" >"$HOME/sway.log" 2>&1 &
  e2e_track $!
  sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock && ls "$XDG_RUNTIME_DIR"/wayland-*; }
  wait_for 15 sway_up || { cat "$HOME/sway.log" >&2; e2e_skip "sway cannot start"; }
  SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
  WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -1)")
  export SWAYSOCK WAYLAND_DISPLAY
}

# e2e_waybar_config MODULES_JSON [CSS]: a 30-px waybar on top with those modules, on black.
e2e_waybar_config() {
  mkdir -p "$XDG_CONFIG_HOME/waybar"
  printf '{ "layer": "top", "position": "top", "height": 30, %s }\n' "$1" >"$XDG_CONFIG_HOME/waybar/config"
  printf '* { font-family: sans-serif; font-size: 12px; }\nwindow#waybar { background: #000000; }\n%s\n' \
    "${2:-}" >"$XDG_CONFIG_HOME/waybar/style.css"
}

# e2e_waybar_tray: waybar with the tray alone, so every coloured pixel in the bar is ours.
e2e_waybar_tray() {
  e2e_waybar_config '"modules-right": ["tray"], "tray": { "icon-size": 18, "spacing": 8 }'
  waybar >"$HOME/waybar.log" 2>&1 &
  e2e_track $!
  wait_for 15 bus_has org.kde.StatusNotifierWatcher || { cat "$HOME/waybar.log" >&2; e2e_skip "waybar cannot start its tray"; }
}

# e2e_item HOST: waits until quotabox (qpid) registered its item with HOST's watcher; sets service.
e2e_item() {
  registered() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
      --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
      grep -q "StatusNotifierItem-$qpid-"
  }
  wait_for 15 registered || { cat "$HOME"/quotabox*.log >&2; e2e_fail "the item never registered with $1"; }
  service=org.kde.StatusNotifierItem-$qpid-1
}

# e2e_activate X Y: what a host does on a left click at (X, Y).
e2e_activate() {
  gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.Activate "$1" "$2" >/dev/null
}

# e2e_pixmap_size: "width height" of the item's first IconPixmap.
e2e_pixmap_size() {
  gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap | head -c 200 |
    sed -n 's/^(<\[(\([0-9]*\), \([0-9]*\),.*/\1 \2/p'
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
