#!/usr/bin/env bash
# The XEmbed fallback and the single instance: Xvfb + trayer, no StatusNotifierWatcher on the bus.
# Usage: tray_x11.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need fail Xvfb trayer xdotool import convert dbus-run-session
# A private session bus without any tray host on it.
e2e_enter --as-caller "$@"

e2e_xvfb 1280x800
e2e_trayer
bus_has org.kde.StatusNotifierWatcher && e2e_fail "a StatusNotifierWatcher is on this bus"

# Warning at 80, critical at 95: --mock-high (91 %, 92 %) draws both services orange.
e2e_thresholds 80 95
e2e_start "$HOME/first.log" --mock-high
first=$qpid
shot=$artifacts/x11-tray.png
e2e_tray_icon "$shot" "$HOME/first.log"
e2e_log "orange pixels in the tray: $(count_colour "$shot" 1280x24+0+0 orange), first at $ox,$oy"

xdotool mousemove "$ox" "$oy" click 1
wait_for 10 e2e_popover_id || e2e_fail "clicking the tray icon did not open the popover"
import -window root "$artifacts/x11-popover.png" || true
xdotool mousemove "$ox" "$oy" click 1
popover_closed() { ! e2e_popover_id; }
wait_for 10 popover_closed || e2e_fail "a second click did not close the popover"
e2e_log "the tray icon toggles the popover"

# A second start hands over to the first: exit 0, one line on stderr, the first's popover opens.
set +e
timeout 20 "$quotabox" --mock-high >"$HOME/second.out" 2>"$HOME/second.err"
status=$?
set -e
[[ $status -eq 0 ]] || e2e_fail "the second start exited $status: $(cat "$HOME/second.err")"
[[ $(wc -l <"$HOME/second.err") -eq 1 ]] || e2e_fail "the second start wrote: $(cat "$HOME/second.err")"
wait_for 10 e2e_popover_id || e2e_fail "the second start did not open the first one's popover"
kill -0 "$first" || e2e_fail "the first instance exited"
e2e_log "second start: $(cat "$HOME/second.err")"

# --open: the popover opens by itself about two seconds after start.
kill "$first"
wait "$first" 2>/dev/null || true
e2e_start "$HOME/open.log" --mock --open
sleep 1
e2e_popover_id >/dev/null && e2e_fail "--open opened the popover before its delay"
wait_for 10 e2e_popover_id || e2e_fail "--open did not open the popover"
e2e_log "--open opens the popover"
echo "e2e: x11 tray passed"
