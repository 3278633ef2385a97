#!/usr/bin/env bash
# The status-bar module in a real waybar on sway (headless), configured as the README says, running
# `quotabox --waybar` against a loopback usage server. The module shows, a click refreshes once, and
# a restarted waybar shows it again. Usage: waybar_module.sh QUOTABOX ARTIFACT_DIR. Exits 77
# (skipped) only when sway or waybar cannot start.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip sway swaymsg waybar grim convert dbus-run-session python3 pgrep
e2e_enter "$@"
fixtures=$(cd "$(dirname "$0")/../fixtures" && pwd)
# No accessibility bus: its daemons would outlive the session holding the test's output open.
export NO_AT_BRIDGE=1 GTK_A11Y=none

# The usage endpoint: answers every GET with the fixture and logs one line per request.
requests=$HOME/requests.log
: >"$requests"
cat >"$HOME/server.py" <<'PY'
import http.server, sys
body = open(sys.argv[1], "rb").read()
class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write(self.path + "\n")
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
coproc SERVER { exec python3 "$HOME/server.py" "$fixtures/claude-usage-with-limits.json" "$requests"; }
e2e_track "$SERVER_PID"
read -r port <&"${SERVER[0]}"
mkdir -p "$HOME/claude"
cp "$fixtures/claude-credentials.json" "$HOME/claude/.credentials.json"
export CLAUDE_CONFIG_DIR=$HOME/claude QUOTABOX_CLAUDE_USAGE_URL=http://127.0.0.1:$port/api/oauth/usage
# `quotabox` by name, as the snippet has it.
export PATH=$(dirname "$quotabox"):$PATH

e2e_sway 1280x800

# The README's snippet; the module alone on a black bar, red behind its text, so every red pixel is
# the module's (waybar hides a custom module whose text is empty).
e2e_waybar_config '"modules-right": ["custom/quotabox"],
  "custom/quotabox": {
    "exec": "quotabox --waybar",
    "return-type": "json",
    "restart-interval": 5,
    "on-click": "quotabox --refresh"
  }' '#custom-quotabox { background: #ff3b30; color: #ffffff; padding: 0 6px; }'

shot=$artifacts/waybar-module.png
module_shown() { grim "$shot" && (($(count_colour "$shot" 1280x30+0+0 red) >= 50)); }
modules() { pgrep -u "$(id -u)" -f -- '--waybar' || true; }
start_waybar() {
  waybar >>"$HOME/waybar.log" 2>&1 &
  waybar_pid=$!
  e2e_track $waybar_pid
}
count() { wc -l <"$requests"; }

start_waybar
wait_for 30 module_shown || { cat "$HOME/waybar.log" >&2; e2e_fail "the module never showed in the bar (see $shot)"; }
wait_for 15 test "$(count)" -ge 1 || e2e_fail "the module never asked for usage"
e2e_log "module shown; requests: $(count)"

# A click runs `quotabox --refresh`: the engine refreshes once. A headless seat without input
# devices may have no pointer to click with; then the snippet's on-click command runs as waybar
# would run it.
read -r x y < <(find_colour "$shot" 1280x30+0+0 red)
before=$(count)
swaymsg seat seat0 cursor set $((x + 3)) $((y + 3)) >/dev/null || true
swaymsg seat seat0 cursor press button1 >/dev/null || true
swaymsg seat seat0 cursor release button1 >/dev/null || true
if ! wait_for 5 test "$(count)" -gt "$before"; then
  e2e_log "no pointer on the headless seat: running the on-click command"
  on_click=$(sed -n 's/.*"on-click": "\(.*\)".*/\1/p' "$XDG_CONFIG_HOME/waybar/config")
  sh -c "$on_click" || e2e_fail "the on-click command failed"
fi
wait_for 15 test "$(count)" -gt "$before" || e2e_fail "a click on the module did not refresh"
sleep 1
(($(count) == before + 1)) || e2e_fail "one click, $(($(count) - before)) refreshes"
e2e_log "click refreshed"

# waybar restarts: the old module ends with it, the new one shows within 5 seconds of the bar.
old=$(modules)
[[ -n "$old" ]] || e2e_fail "no module process"
kill "$waybar_pid"
gone() { for pid in $old; do kill -0 "$pid" 2>/dev/null && return 1; done; return 0; }
wait_for 5 gone || e2e_fail "the module outlived its bar: $(modules)"
start_waybar
bar_up() { swaymsg -t get_tree | grep -q '"app_id": "waybar"\|"name": "waybar"'; }
wait_for 15 bar_up || true
wait_for 5 module_shown || e2e_fail "the module did not come back within 5 s of the bar (see $shot)"
e2e_log "module back after waybar restart"
kill -0 "$waybar_pid" || e2e_fail "waybar exited"
echo "e2e: waybar module passed"
