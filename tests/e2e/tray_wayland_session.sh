#!/usr/bin/env bash
# Inside a private D-Bus session as an unprivileged user: sway + waybar, then quotabox --mock-high.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2
trap e2e_cleanup EXIT

export HOME=${HOME:-$(mktemp -d)}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$HOME/run}
export XDG_CONFIG_HOME=$HOME/config XDG_DATA_HOME=$HOME/data XDG_CACHE_HOME=$HOME/cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/waybar" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
chmod 700 "$XDG_RUNTIME_DIR"
export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK

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

# A bar with the tray alone, on black, so every coloured pixel in it is ours.
cat >"$XDG_CONFIG_HOME/waybar/config" <<'CONF'
{ "layer": "top", "position": "top", "height": 30, "modules-right": ["tray"],
  "tray": { "icon-size": 18, "spacing": 8 } }
CONF
cat >"$XDG_CONFIG_HOME/waybar/style.css" <<'CONF'
* { font-family: sans-serif; font-size: 12px; }
window#waybar { background: #000000; }
CONF
waybar >"$HOME/waybar.log" 2>&1 &
e2e_track $!
wait_for 15 bus_has org.kde.StatusNotifierWatcher || { cat "$HOME/waybar.log" >&2; e2e_skip "waybar cannot start its tray"; }

QT_QPA_PLATFORM=wayland "$quotabox" --mock-high >"$HOME/quotabox.log" 2>&1 &
qpid=$!
e2e_track $qpid

registered() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
    grep -q "StatusNotifierItem-$qpid-"
}
wait_for 15 registered || { cat "$HOME/quotabox.log" >&2; e2e_fail "the item never registered with waybar's watcher"; }
service=org.kde.StatusNotifierItem-$qpid-1
e2e_log "registered as $service"

pixmap=$(gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
  --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem IconPixmap | head -c 200)
read -r width height < <(echo "$pixmap" | sed -n 's/^(<\[(\([0-9]*\), \([0-9]*\),.*/\1 \2/p')
[[ -n "${width:-}" && -n "${height:-}" ]] || e2e_fail "IconPixmap unreadable: $pixmap"
((width > height)) || e2e_fail "IconPixmap is ${width}x${height}, not wider than high"
e2e_log "IconPixmap ${width}x${height}"

# Both services are critical in --mock-high at the default thresholds: red in the bar.
shot=$artifacts/wayland-bar.png
red_in_bar() {
  grim "$shot" && (($(count_colour "$shot" 1280x30+0+0 red) >= 10))
}
wait_for 15 red_in_bar || e2e_fail "no red glyph pixels in waybar's tray (see $shot)"
e2e_log "red pixels in the bar: $(count_colour "$shot" 1280x30+0+0 red)"

popover_shown() { swaymsg -t get_tree | grep -q '"name": "Quotabox"'; }
activate() {
  gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
    --method org.kde.StatusNotifierItem.Activate 1260 15 >/dev/null
}
activate
wait_for 10 popover_shown || e2e_fail "Activate did not open the popover"
sleep 0.5
grim "$artifacts/wayland-popover.png" || true
swaymsg -t get_tree >"$artifacts/wayland-tree.json" || true
activate
popover_gone() { ! popover_shown; }
wait_for 10 popover_gone ||
  e2e_fail "a second Activate did not close the popover"
e2e_log "Activate toggles the popover"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: wayland tray passed"
