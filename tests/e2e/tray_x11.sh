#!/usr/bin/env bash
# The XEmbed fallback and the single instance: Xvfb + trayer, no StatusNotifierWatcher on the bus.
# Usage: tray_x11.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2
mkdir -p "$artifacts"
for tool in Xvfb trayer xdotool import convert dbus-run-session; do
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
for n in $(seq 140 180); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || e2e_fail "no free X display"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
e2e_track $!
export DISPLAY=$display
wait_for 10 xdotool getdisplaygeometry || e2e_fail "Xvfb did not start"

trayer --edge top --align right --widthtype request --height 24 --transparent false --tint 0x000000 \
  --SetDockType true >/dev/null 2>&1 &
e2e_track $!
sleep 0.5
bus_has org.kde.StatusNotifierWatcher && e2e_fail "a StatusNotifierWatcher is on this bus"

# Warning at 80, critical at 95: --mock-high (91 %, 92 %) draws both services orange.
printf '{"warningThreshold": 80, "criticalThreshold": 95}\n' >"$XDG_CONFIG_HOME/Quotabox/com.orrisfen.Quotabox.json"

"$quotabox" --mock-high >"$home/first.log" 2>&1 &
qpid=$!
e2e_track $qpid

shot=$artifacts/x11-tray.png
orange_in_tray() { import -window root "$shot" && (($(count_colour "$shot" 1280x24+0+0 orange) >= 5)); }
wait_for 15 orange_in_tray || { cat "$home/first.log" >&2; e2e_fail "no orange glyph pixels in trayer (see $shot)"; }
read -r ox oy < <(find_colour "$shot" 1280x24+0+0 orange)
e2e_log "orange pixels in the tray: $(count_colour "$shot" 1280x24+0+0 orange), first at $ox,$oy"

popover_open() {
  local id
  for id in $(xdotool search --onlyvisible --name '^Quotabox$' 2>/dev/null); do
    xdotool getwindowgeometry "$id" | grep -q 'Geometry: 360x' && return 0
  done
  return 1
}
xdotool mousemove "$ox" "$oy" click 1
wait_for 10 popover_open || e2e_fail "clicking the tray icon did not open the popover"
import -window root "$artifacts/x11-popover.png" || true
xdotool mousemove "$ox" "$oy" click 1
popover_closed() { ! popover_open; }
wait_for 10 popover_closed || e2e_fail "a second click did not close the popover"
e2e_log "the tray icon toggles the popover"

# A second start hands over to the first: exit 0, one line on stderr, the first's popover opens.
set +e
timeout 20 "$quotabox" --mock-high >"$home/second.out" 2>"$home/second.err"
status=$?
set -e
[[ $status -eq 0 ]] || e2e_fail "the second start exited $status: $(cat "$home/second.err")"
[[ $(wc -l <"$home/second.err") -eq 1 ]] || e2e_fail "the second start wrote: $(cat "$home/second.err")"
wait_for 10 popover_open || e2e_fail "the second start did not open the first one's popover"
kill -0 "$qpid" || e2e_fail "the first instance exited"
e2e_log "second start: $(cat "$home/second.err")"

# --open: the popover opens by itself about two seconds after start.
kill "$qpid"
wait "$qpid" 2>/dev/null || true
"$quotabox" --mock --open >"$home/open.log" 2>&1 &
e2e_track $!
sleep 1
popover_open && e2e_fail "--open opened the popover before its delay"
wait_for 10 popover_open || e2e_fail "--open did not open the popover"
e2e_log "--open opens the popover"
echo "e2e: x11 tray passed"
