#!/usr/bin/env bash
# No tray host at all (an X11 session without a tray, no StatusNotifierWatcher): the user is told
# on stderr and by one notification, sees the popover as an ordinary window, and gets the tray
# icon once a tray starts. Usage: tray_nohost.sh QUOTABOX ARTIFACT_DIR.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need fail Xvfb trayer dunst xdotool xprop import convert dbus-run-session
e2e_enter --as-caller "$@"

e2e_xvfb 1280x800
dunst -print >"$HOME/dunst.out" 2>/dev/null &
e2e_track $!
wait_for 10 bus_has org.freedesktop.Notifications || e2e_fail "dunst did not start"

e2e_thresholds 80 95
"$quotabox" --mock-high >"$HOME/out.log" 2>"$HOME/err.log" &
qpid=$!
e2e_track $qpid

wait_for 15 e2e_popover_id || { cat "$HOME/err.log" >&2; e2e_fail "without a tray the popover did not open"; }
id=$(e2e_popover_id)
# An ordinary window: a normal window type, no request to skip the taskbar.
types=$(xprop -id "$id" _NET_WM_WINDOW_TYPE _NET_WM_STATE)
[[ $types == *_NET_WM_WINDOW_TYPE_NORMAL* ]] || e2e_fail "the window is not an ordinary one: $types"
[[ $types != *SKIP_TASKBAR* ]] || e2e_fail "the window hides from the taskbar: $types"
import -window root "$artifacts/nohost-window.png" || true

grep -q 'AppIndicator' "$HOME/err.log" || e2e_fail "stderr does not name the way out: $(cat "$HOME/err.log")"
[[ $(grep -c 'quotabox --waybar' "$HOME/err.log") -eq 1 ]] || e2e_fail "stderr: $(cat "$HOME/err.log")"
wait_for 10 grep -q 'AppIndicator' "$HOME/dunst.out" || e2e_fail "no notification arrived: $(cat "$HOME/dunst.out")"
e2e_log "told: $(grep AppIndicator "$HOME/err.log")"

# A tray starts later: the icon appears in it.
e2e_trayer
e2e_tray_icon "$artifacts/nohost-tray.png" "$HOME/err.log"
e2e_log "the icon shows once a tray is there"
# Still one line and one notification.
[[ $(grep -c 'AppIndicator' "$HOME/err.log") -eq 1 ]] || e2e_fail "told more than once: $(cat "$HOME/err.log")"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: no-host tray passed"
