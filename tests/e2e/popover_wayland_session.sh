#!/usr/bin/env bash
# Inside a private D-Bus session as an unprivileged user: sway at 1280x720 + waybar (30-px bar on
# top), then quotabox --mock-high; checks where the popover opens and that the settings page fits.
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
output HEADLESS-1 resolution 1280x720 position 0 0 bg #202020 solid_color
xwayland disable
default_border none
CONF
sway -c "$HOME/sway.conf" >"$HOME/sway.log" 2>&1 &
e2e_track $!
sway_up() { ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock && ls "$XDG_RUNTIME_DIR"/wayland-*; }
wait_for 15 sway_up || { cat "$HOME/sway.log" >&2; e2e_skip "sway cannot start"; }
export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock | head -1)
export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -1)")

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

# A keyboard for the whole session: headless sway has none, and a client loses its keyboard focus,
# and so its activation, whenever the last keyboard goes away.
wtype -s 3600000 &
e2e_track $!
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

# The popover's rectangle in sway's tree, as "x y width height"; fails while there is none.
popover_rect() {
  swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("name") == "Quotabox" and node.get("pid") == int(sys.argv[1]):
        r = node["rect"]
        print(r["x"], r["y"], r["width"], r["height"])
        sys.exit(0)
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))
sys.exit(1)' "$qpid"
}
# Waits until the popover is at rest: the same rectangle twice, 0.3 s apart.
settled_rect() {
  local last="" now
  for _ in $(seq 1 30); do
    now=$(popover_rect 2>/dev/null || true)
    [[ -n "$now" && "$now" == "$last" ]] && { echo "$now"; return 0; }
    last=$now
    sleep 0.3
  done
  return 1
}
# Differing pixels between two screenshots inside a crop.
changed_pixels() {
  convert "$1" "$2" -crop "$3" +repage -compose difference -composite -threshold 1% -format '%[fx:int(mean*w*h)]' info:
}
# Pixels of a crop that are not the background colour (#202020) of the output.
content_pixels() {
  crop_pixels "$1" "$2" | awk '$3 != 32 || $4 != 32 || $5 != 32 { n++ } END { print n + 0 }'
}

gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.Activate 1260 15 >/dev/null
wait_for 10 popover_rect || { cat "$HOME/quotabox.log" >&2; e2e_fail "Activate did not open the popover"; }
read -r x y w h < <(settled_rect) || e2e_fail "the popover never came to rest"
grim "$artifacts/popover-wayland-usage.png"
swaymsg -t get_tree >"$artifacts/popover-wayland-tree.json"
e2e_log "usage page at ${x},${y} ${w}x${h}"
((x >= 640)) || e2e_fail "the popover is not in the right half (x=$x)"
((y >= 30 && y <= 40)) || e2e_fail "the popover is not right under the bar (y=$y)"
((y + h <= 720 && x + w <= 1280)) || e2e_fail "the popover leaves the output: ${x},${y} ${w}x${h}"
# Its content (the heading, the cards) is drawn there, and nothing of it in the left half.
(($(content_pixels "$artifacts/popover-wayland-usage.png" "${w}x40+${x}+${y}") > 200)) ||
  e2e_fail "nothing drawn at the popover's top (see popover-wayland-usage.png)"
(($(content_pixels "$artifacts/popover-wayland-usage.png" "600x600+0+60") == 0)) ||
  e2e_fail "something drawn in the left half (see popover-wayland-usage.png)"

# The settings page (its keyboard shortcut) is taller than the output has room for: the window stops
# above the bottom edge and the page scrolls.
wtype -M ctrl , -m ctrl
grown() { read -r _ _ _ hh < <(popover_rect) && ((hh > h)); }
wait_for 10 grown || e2e_fail "the settings page did not open (still ${h} px high)"
read -r x y w h < <(settled_rect) || e2e_fail "the popover never came to rest"
grim "$artifacts/popover-wayland-settings.png"
e2e_log "settings page at ${x},${y} ${w}x${h}"
((y >= 30 && y + h <= 720 - 8)) || e2e_fail "the settings page leaves the output: ${x},${y} ${w}x${h}"
((x >= 640)) || e2e_fail "the settings page moved out of the right half (x=$x)"
wtype -k End
sleep 0.5
grim "$artifacts/popover-wayland-settings-end.png"
changed=$(changed_pixels "$artifacts/popover-wayland-settings.png" "$artifacts/popover-wayland-settings-end.png" \
  "${w}x${h}+${x}+${y}")
e2e_log "pixels changed by scrolling to the end: $changed"
((changed > 1000)) || e2e_fail "the settings page does not scroll"
read -r x2 y2 _ _ < <(popover_rect)
[[ "$x2,$y2" == "$x,$y" ]] || e2e_fail "scrolling moved the window to $x2,$y2"
kill -0 "$qpid" || e2e_fail "quotabox exited"

# A compositor that takes no word from clients (no IPC socket in sight): it places the window, and
# the height still stops short of the output less a panel's worth. Where the window goes as it grows
# is the compositor's choice (sway keeps its top-left corner), so only the height is checked.
kill "$qpid"
wait "$qpid" 2>/dev/null || true
env -u SWAYSOCK -u I3SOCK QT_QPA_PLATFORM=wayland "$quotabox" --mock-high >"$HOME/quotabox-placed.log" 2>&1 &
qpid=$!
e2e_track $qpid
wait_for 15 registered || e2e_fail "the second run never registered with waybar's watcher"
service=org.kde.StatusNotifierItem-$qpid-1
gdbus call --session --dest "$service" --object-path /StatusNotifierItem \
  --method org.kde.StatusNotifierItem.Activate 1260 15 >/dev/null
wait_for 10 popover_rect || e2e_fail "Activate did not open the popover without the IPC socket"
read -r x y w h < <(settled_rect) || e2e_fail "the popover never came to rest"
wtype -M ctrl , -m ctrl
wait_for 10 grown || e2e_fail "the settings page did not open without the IPC socket"
read -r x y w h < <(settled_rect) || e2e_fail "the popover never came to rest"
grim "$artifacts/popover-wayland-placed-settings.png"
e2e_log "placed by sway: settings page at ${x},${y} ${w}x${h}"
((h <= 720 - 48 - 8)) || e2e_fail "without the IPC socket the settings page is $h px high"
echo "e2e: wayland popover passed"
