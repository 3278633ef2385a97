#!/usr/bin/env bash
# No tray host at all (an X11 session without a tray, no StatusNotifierWatcher): the user is told
# on stderr and by one notification, sees the popover as an ordinary window, and gets the tray
# icon once a tray starts. Usage: tray_nohost.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2
mkdir -p "$artifacts"
for tool in Xvfb trayer dunst xdotool xprop import convert dbus-run-session; do
  command -v "$tool" >/dev/null || e2e_fail "$tool is not installed (scripts/bootstrap installs it)"
done

if [[ -z "${E2E_NOHOST_INSIDE:-}" ]]; then
  export E2E_NOHOST_INSIDE=1
  exec dbus-run-session -- bash "$0" "$quotabox" "$artifacts"
fi

home=$(mktemp -d /tmp/quotabox-nohost-XXXXXX)
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
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
e2e_track $!
export DISPLAY=$display
wait_for 10 xdotool getdisplaygeometry || e2e_fail "Xvfb did not start"
dunst -print >"$home/dunst.out" 2>/dev/null &
e2e_track $!
wait_for 10 bus_has org.freedesktop.Notifications || e2e_fail "dunst did not start"

printf '{"warningThreshold": 80, "criticalThreshold": 95}\n' >"$XDG_CONFIG_HOME/Quotabox/com.orrisfen.Quotabox.json"
"$quotabox" --mock-high >"$home/out.log" 2>"$home/err.log" &
qpid=$!
e2e_track $qpid

window_id() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Quotabox$' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 360x' && { echo "$id"; return 0; }
  done
  return 1
}
wait_for 15 window_id || { cat "$home/err.log" >&2; e2e_fail "without a tray the popover did not open"; }
id=$(window_id)
# An ordinary window: a normal window type, no request to skip the taskbar.
types=$(xprop -id "$id" _NET_WM_WINDOW_TYPE _NET_WM_STATE)
[[ $types == *_NET_WM_WINDOW_TYPE_NORMAL* ]] || e2e_fail "the window is not an ordinary one: $types"
[[ $types != *SKIP_TASKBAR* ]] || e2e_fail "the window hides from the taskbar: $types"
import -window root "$artifacts/nohost-window.png" || true

grep -q 'AppIndicator' "$home/err.log" || e2e_fail "stderr does not name the way out: $(cat "$home/err.log")"
[[ $(grep -c 'quotabox --waybar' "$home/err.log") -eq 1 ]] || e2e_fail "stderr: $(cat "$home/err.log")"
wait_for 10 grep -q 'AppIndicator' "$home/dunst.out" || e2e_fail "no notification arrived: $(cat "$home/dunst.out")"
e2e_log "told: $(grep AppIndicator "$home/err.log")"

# A tray starts later: the icon appears in it.
trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x000000 \
  --SetDockType true >/dev/null 2>&1 &
e2e_track $!
shot=$artifacts/nohost-tray.png
orange_in_tray() { import -window root "$shot" && (($(count_colour "$shot" 1280x24+0+0 orange) >= 5)); }
wait_for 20 orange_in_tray || e2e_fail "the icon did not appear once a tray started (see $shot)"
e2e_log "the icon shows once a tray is there"
# Still one line and one notification.
[[ $(grep -c 'AppIndicator' "$home/err.log") -eq 1 ]] || e2e_fail "told more than once: $(cat "$home/err.log")"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: no-host tray passed"
