#!/usr/bin/env bash
# The popover under KWin (Plasma's compositor, headless at 1280x720): placed by a KWin script near
# where the tray would be and kept off the task bar. Usage: popover_kwin.sh QUOTABOX ARTIFACT_DIR.
# A root caller runs the session as an unprivileged test user. Exits 77 (skipped) when KWin cannot
# start here.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip kwin_wayland dbus-run-session gdbus
e2e_enter "$@"
unset DISPLAY WAYLAND_DISPLAY
# A plain copy: file capabilities on the installed binary are refused in containers.
cp "$(command -v kwin_wayland)" "$HOME/kwin_wayland"
"$HOME/kwin_wayland" --virtual --width 1280 --height 720 --socket wl-quotabox >"$HOME/kwin.log" 2>&1 &
e2e_track $!
kwin_up() { [[ -e "$XDG_RUNTIME_DIR/wl-quotabox" ]] && bus_has org.kde.KWin; }
wait_for 20 kwin_up || { tail -20 "$HOME/kwin.log" >&2; e2e_skip "kwin_wayland cannot start"; }
# KWin takes its name before its scripting interface is served; a client placed before that is not moved.
scripting_up() { gdbus introspect --session --dest org.kde.KWin --object-path /Scripting 2>/dev/null | grep -q loadScript; }
wait_for 30 scripting_up || { tail -20 "$HOME/kwin.log" >&2; e2e_fail "KWin serves no scripting interface"; }

# Reports our window's frame and task-bar flag into KWin's log, through a script of our own.
probe=0
report_window() {
  probe=$((probe + 1))
  cat >"$HOME/probe.js" <<JS
var list = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < list.length; ++i) {
  var w = list[i];
  if (w.pid === $qpid && w.caption === "Quotabox") {
    var g = w.frameGeometry;
    print("quotabox-probe-$probe " + g.x + " " + g.y + " " + g.width + " " + g.height + " " + w.skipTaskbar);
  }
}
JS
  local id
  id=$(gdbus call --session --dest org.kde.KWin --object-path /Scripting \
    --method org.kde.kwin.Scripting.loadScript "$HOME/probe.js" "quotabox-e2e-probe" | tr -dc 0-9)
  gdbus call --session --dest org.kde.KWin --object-path "/$id" --method org.kde.kwin.Script.run >/dev/null
  sleep 0.3
  gdbus call --session --dest org.kde.KWin --object-path /Scripting \
    --method org.kde.kwin.Scripting.unloadScript "quotabox-e2e-probe" >/dev/null
  grep -a "quotabox-probe-$probe " "$HOME/kwin.log" | tail -1 | sed 's/.*quotabox-probe-[0-9]* //'
}
# The first script KWin runs starts its script engine, which can take a while on a busy machine.
qpid=0
report_window >/dev/null || true

# No tray host: the popover first opens as an ordinary window, placed by KWin. A second start then
# opens it as the tray would, at the top-right corner, where Plasma's tray usually is.
export XDG_CURRENT_DESKTOP=KDE WAYLAND_DISPLAY=wl-quotabox QT_QPA_PLATFORM=wayland
e2e_start "$HOME/quotabox.log" --mock-high
shown() { [[ -n $(report_window) ]]; }
wait_for 20 shown || e2e_fail "quotabox opened no window without a tray host"
sleep 1
# Its exit status is not checked: under the leak checker a short run may end with a report.
"$quotabox" --mock-high >"$HOME/second.log" 2>&1 || true
grep -q "그 창을 열었어요" "$HOME/second.log" || e2e_fail "the second start did not reach the first: $(cat "$HOME/second.log")"

placed() {
  read -r x y w h skip < <(report_window) && ((x == 1280 - 8 - 360 && y == 0)) && [[ $skip == true ]]
}
if ! wait_for 15 placed; then
  grep -v "quotabox-probe" "$HOME/kwin.log" | grep -ai "js\|script\|quotabox" | tail -20 >&2 || true
  e2e_fail "the popover is not at the top right, off the task bar: $(report_window)"
fi
read -r x y w h skip < <(report_window)
e2e_log "popover at ${x},${y} ${w}x${h}, skipTaskbar=$skip"
((h <= 720 - 8)) || e2e_fail "the popover is $h px high"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: kwin popover passed"
