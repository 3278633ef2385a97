#!/usr/bin/env bash
# The popover beside its XEmbed icon: Xvfb at 1280x720 + trayer at the top right. The icon stays
# visible while the popover is open, also after the settings page grew past the screen and shrank.
# Usage: popover_x11.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need fail Xvfb trayer xdotool xprop import convert dbus-run-session
# A private session bus without any tray host on it.
e2e_enter --as-caller "$@"

e2e_xvfb 1280x720
e2e_trayer
# Warning at 80, critical at 95: --mock-high (91 %, 92 %) draws both services orange.
e2e_thresholds 80 95
e2e_start "$HOME/quotabox.log" --mock-high
shot=$artifacts/popover-x11-tray.png
e2e_tray_icon "$shot" "$HOME/quotabox.log"
icon_pixels=$(count_colour "$shot" 1280x24+0+0 orange)
e2e_log "icon: $icon_pixels orange pixels, first at $ox,$oy"

# "x y width height" of the open popover.
popover_rect() {
  local id
  id=$(e2e_popover_id) || return 1
  xdotool getwindowgeometry --shell "$id" | awk -F= '
    $1 == "X" { x = $2 } $1 == "Y" { y = $2 } $1 == "WIDTH" { w = $2 } $1 == "HEIGHT" { h = $2 }
    END { print x, y, w, h }'
}
# Checks, on a fresh screenshot, that the popover neither covers the icon nor leaves the screen.
check_open() {
  local name=$1 x y w h
  read -r x y w h < <(e2e_settled popover_rect) || e2e_fail "$name: the popover never came to rest"
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
wait_for 10 e2e_popover_id || e2e_fail "clicking the tray icon did not open the popover"
check_open usage
usage_height=$last_height
# A utility window, transient for the app's leader: task bars leave it out.
types=$(xprop -id "$(e2e_popover_id)" _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR)
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
popover_closed() { ! e2e_popover_id; }
wait_for 10 popover_closed || e2e_fail "a second click did not close the popover"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: x11 popover passed"
