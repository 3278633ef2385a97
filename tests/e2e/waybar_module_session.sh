#!/usr/bin/env bash
# Inside a private D-Bus session: sway + waybar running `quotabox --waybar` against a loopback
# usage server. The module shows, a click refreshes once, and a restarted waybar shows it again.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2
fixtures=$3
trap e2e_cleanup EXIT

export HOME=${HOME:-$(mktemp -d)}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$HOME/run}
export XDG_CONFIG_HOME=$HOME/config XDG_DATA_HOME=$HOME/data XDG_CACHE_HOME=$HOME/cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/waybar" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$HOME/claude"
chmod 700 "$XDG_RUNTIME_DIR"
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
# No accessibility bus: its daemons would outlive the session holding the test's output open.
export NO_AT_BRIDGE=1 GTK_A11Y=none
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK

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
cp "$fixtures/claude-credentials.json" "$HOME/claude/.credentials.json"
export CLAUDE_CONFIG_DIR=$HOME/claude QUOTABOX_CLAUDE_USAGE_URL=http://127.0.0.1:$port/api/oauth/usage
# `quotabox` by name, as the snippet has it.
export PATH=$(dirname "$quotabox"):$PATH

cat >"$HOME/sway.conf" <<'CONF'
output HEADLESS-1 resolution 1280x800 position 0 0
xwayland disable
default_border none
CONF
sway -c "$HOME/sway.conf" >"$HOME/sway.log" 2>&1 &
e2e_track $!
sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock && ls "$XDG_RUNTIME_DIR"/wayland-*; }
wait_for 15 sway_up || { cat "$HOME/sway.log" >&2; e2e_skip "sway cannot start"; }
export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -1)")

# The README's snippet; the module alone on a black bar, red behind its text, so every red pixel is
# the module's (waybar hides a custom module whose text is empty).
cat >"$XDG_CONFIG_HOME/waybar/config" <<'CONF'
{ "layer": "top", "position": "top", "height": 30, "modules-right": ["custom/quotabox"],
  "custom/quotabox": {
    "exec": "quotabox --waybar",
    "return-type": "json",
    "restart-interval": 5,
    "on-click": "quotabox --refresh"
  } }
CONF
cat >"$XDG_CONFIG_HOME/waybar/style.css" <<'CONF'
* { font-family: sans-serif; font-size: 12px; }
window#waybar { background: #000000; }
#custom-quotabox { background: #ff3b30; color: #ffffff; padding: 0 6px; }
CONF

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
