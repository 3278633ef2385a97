#!/usr/bin/env bash
# quotabox --verify-system DIR against the session's dunst with a scratch HOME: the report's
# members, the autostart entry back as it was (absent, or another copy's entry kept byte for
# byte), the verification notification shown and closed on the bus, no scratch suite left.
# Needs the session of scripts/with-session; exit status 77 marks a skip without one.
# Usage: verify_system_mode.sh QUOTABOX
set -euo pipefail
quotabox=$(readlink -f "$1")
[[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" && -n "${DISPLAY:-}" ]] || { echo "no session (run under scripts/with-session)"; exit 77; }
dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
  string:org.freedesktop.Notifications | grep -q 'boolean true' || { echo "no notification server"; exit 77; }

home=$(mktemp -d /tmp/quotabox-verify-XXXXXX)
monitor_pid=""
trap '[[ -n $monitor_pid ]] && kill "$monitor_pid" 2>/dev/null; rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache
autostart=$XDG_CONFIG_HOME/autostart/com.orrisfen.Quotabox.desktop
fail() { echo "FAIL: $*" >&2; exit 1; }

# Without any display the mode refuses with a message instead of writing a partial report.
if env -u DISPLAY -u WAYLAND_DISPLAY "$quotabox" --verify-system "$home/none" 2>"$home/err"; then
  fail "ran without a display"
fi
grep -q '그래픽 세션' "$home/err" || fail "no explanation without a display: $(cat "$home/err")"
[[ ! -e "$home/none/system-checks.json" ]] || fail "report written without a display"

dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications'" >"$home/bus.log" 2>&1 &
monitor_pid=$!
sleep 0.5

run_checks() {
  local out=$1
  "$quotabox" --verify-system "$out" --mock --open >"$home/stdout" 2>"$home/stderr" ||
    fail "exit status $? ($(cat "$home/stderr"))"
  python3 - "$out/system-checks.json" "$quotabox" <<'PY' || fail "system-checks.json: $(cat "$out/system-checks.json")"
import json, sys
report = json.load(open(sys.argv[1]))
assert report["bundle"] == sys.argv[2], report["bundle"]
assert report["accessory"] is True
assert report["loginInitiallyEnabled"] is False
assert report["loginToggleVerified"] is True and "loginError" not in report
assert report["loginRestored"] is True
assert report["loginNativeStatusAfter"] == 2
assert report["notificationAuthorization"] == 2
assert report["notificationDelivered"] is True
assert report["refreshSettingApplied"] is True
assert "deniedNotificationKeepsDedupeEmpty" not in report
assert [s["service"] for s in report["usage"]] == ["claude", "codex"]
assert all(s["ok"] and s["windows"] for s in report["usage"]), report["usage"]
assert all(isinstance(w["percent"], (int, float)) and w["label"] for s in report["usage"] for w in s["windows"])
PY
  for file in live-render.png live-menubar-render.png settings-render.png; do
    [[ $(identify -format '%m' "$out/$file" 2>/dev/null) == PNG ]] || fail "$file missing"
  done
  ! ls "$XDG_CONFIG_HOME/Quotabox" 2>/dev/null | grep -q 'release-verification' || fail "scratch suite left behind"
}

# No entry before: none after.
run_checks "$home/first"
[[ ! -e "$autostart" ]] || fail "autostart entry left behind: $(cat "$autostart")"

# Another copy's entry is not ours to take away.
mkdir -p "$(dirname "$autostart")"
printf '[Desktop Entry]\nType=Application\nName=Quotabox\nExec=/opt/elsewhere/quotabox\n' >"$autostart"
cp "$autostart" "$home/entry-before"
run_checks "$home/second"
cmp -s "$autostart" "$home/entry-before" || fail "another copy's autostart entry changed: $(cat "$autostart")"

sleep 0.3
kill "$monitor_pid"
monitor_pid=""
notifies=$(grep -c 'member=Notify' "$home/bus.log" || true)
titles=$(grep -c 'string "Quotabox 알림 테스트"' "$home/bus.log" || true)
closes=$(grep -c 'member=CloseNotification' "$home/bus.log" || true)
((notifies == 2 && titles == 2 && closes == 2)) ||
  fail "bus saw $notifies Notify ($titles with the test title) and $closes CloseNotification"
echo "verify-system mode ok"
