#!/usr/bin/env bash
# The popover beside its XEmbed icon: Xvfb at 1280x720 + trayer at the top right. The icon stays
# visible while the popover is open, also after the settings page grew past the screen and shrank.
# Usage: popover_x11.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2
mkdir -p "$artifacts"
for tool in Xvfb trayer xdotool xprop import convert dbus-run-session; do
  command -v "$tool" >/dev/null || e2e_fail "$tool is not installed (scripts/bootstrap installs it)"
done

# A private session bus without any tray host on it.
if [[ -z "${E2E_X11_INSIDE:-}" ]]; then
  export E2E_X11_INSIDE=1
  exec dbus-run-session -- bash "$0" "$quotabox" "$artifacts"
fi

home=$(mktemp -d /tmp/quotabox-x11-XXXXXX)
trap 'e2e_cleanup; rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
export XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Quotabox"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

display=""
for n in $(seq 181 220); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || e2e_fail "no free X display"
Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
e2e_track $!
export DISPLAY=$display
wait_for 10 xdotool getdisplaygeometry || e2e_fail "Xvfb did not start"

trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x000000 \
  --SetDockType true >/dev/null 2>&1 &
e2e_track $!
sleep 0.5

# Warning at 80, critical at 95: --mock-high (91 %, 92 %) draws both services orange.
printf '{"warningThreshold": 80, "criticalThreshold": 95}\n' >"$XDG_CONFIG_HOME/Quotabox/com.orrisfen.Quotabox.json"
"$quotabox" --mock-high >"$home/quotabox.log" 2>&1 &
qpid=$!
e2e_track $qpid

shot=$artifacts/popover-x11-tray.png
orange_in_tray() { import -window root "$shot" && (($(count_colour "$shot" 1280x24+0+0 orange) >= 5)); }
wait_for 15 orange_in_tray || { cat "$home/quotabox.log" >&2; e2e_fail "no orange glyph pixels in trayer"; }
icon_pixels=$(count_colour "$shot" 1280x24+0+0 orange)
read -r ox oy < <(find_colour "$shot" 1280x24+0+0 orange)
e2e_log "icon: $icon_pixels orange pixels, first at $ox,$oy"

popover_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Quotabox$' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 360x' && { echo "$id"; return 0; }
  done
  return 1
}
# "x y width height" of the open popover.
popover_rect() {
  local id
  id=$(popover_id) || return 1
  xdotool getwindowgeometry --shell "$id" | awk -F= '
    $1 == "X" { x = $2 } $1 == "Y" { y = $2 } $1 == "WIDTH" { w = $2 } $1 == "HEIGHT" { h = $2 }
    END { print x, y, w, h }'
}
settled_rect() {
  local last="" now
  for _ in $(seq 1 30); do
    now=$(popover_rect 2>/dev/null || true)
    [[ -n "$now" && "$now" == "$last" ]] && { echo "$now"; return 0; }
    last=$now
    sleep 0.3
  done
  return 1
}
# Checks, on a fresh screenshot, that the popover neither covers the icon nor leaves the screen.
check_open() {
  local name=$1 x y w h
  read -r x y w h < <(settled_rect) || e2e_fail "$name: the popover never came to rest"
  import -window root "$artifacts/popover-x11-$name.png"
  e2e_log "$name: popover at ${x},${y} ${w}x${h}"
  # Without a window manager nothing reserves the tray's strip: the icon's own edge is the limit.
  ((y >= 20)) || e2e_fail "$name: the popover does not start below the icon (y=$y)"
  ((y + h <= 720 && x >= 0 && x + w <= 1280)) || e2e_fail "$name: the popover leaves the screen"
  local seen
  seen=$(count_colour "$artifacts/popover-x11-$name.png" 1280x24+0+0 orange)
  ((seen >= icon_pixels)) || e2e_fail "$name: only $seen of $icon_pixels icon pixels visible"
  last_height=$h last_top=$y
}

xdotool mousemove "$ox" "$oy" click 1
wait_for 10 popover_id || e2e_fail "clicking the tray icon did not open the popover"
check_open usage
usage_height=$last_height
# A utility window, transient for the app's leader: task bars leave it out.
types=$(xprop -id "$(popover_id)" _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR)
grep -q '_NET_WM_WINDOW_TYPE_UTILITY' <<<"$types" && grep -q 'WM_TRANSIENT_FOR(WINDOW)' <<<"$types" ||
  e2e_fail "the popover may get a task-bar entry: $types"

# The settings page, through the tray's menu: taller than the 720-px screen has room for.
xdotool mousemove "$ox" "$oy" click 3
sleep 0.5
# From the bottom: 종료, then 설정 (사용량 보기 and 새로고침, which may be greyed out, sit above it).
xdotool key Up Up Return
settings_open() { read -r _ _ _ hh < <(popover_rect) && ((hh > usage_height)); }
wait_for 10 settings_open || e2e_fail "the menu's 설정 did not open the settings page"
check_open settings
((last_height == 720 - last_top - 8)) ||
  e2e_fail "the settings page is $last_height px high, not capped at $((720 - last_top - 8))"

# Back to the usage page (Escape is the back button there): the popover shrinks under the icon again.
xdotool key Escape
shrunk() { read -r _ _ _ hh < <(popover_rect) && ((hh == usage_height)); }
wait_for 10 shrunk || e2e_fail "the popover did not shrink back to the usage page"
check_open shrunk

xdotool mousemove "$ox" "$oy" click 1
popover_closed() { ! popover_id; }
wait_for 10 popover_closed || e2e_fail "a second click did not close the popover"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: x11 popover passed"
