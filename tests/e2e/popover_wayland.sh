#!/usr/bin/env bash
# The popover on sway (headless, 1280x720) with waybar's tray (a 30-px bar on top), then quotabox
# --mock-high: placed under the bar near the click, and never taller than the output.
# Usage: popover_wayland.sh QUOTABOX ARTIFACT_DIR. Exits 77 (skipped) only when sway or waybar
# cannot start.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip sway swaymsg waybar grim wtype convert python3 dbus-run-session gdbus
e2e_enter "$@"

e2e_sway 1280x720 'bg #202020 solid_color'
e2e_waybar_tray
# A keyboard for the whole session: headless sway has none, and a client loses its keyboard focus,
# and so its activation, whenever the last keyboard goes away.
wtype -s 3600000 &
e2e_track $!
export QT_QPA_PLATFORM=wayland
e2e_start "$HOME/quotabox.log" --mock-high
e2e_item "waybar's watcher"

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
# Differing pixels between two screenshots inside a crop.
changed_pixels() {
  convert "$1" "$2" -crop "$3" +repage -compose difference -composite -threshold 1% -format '%[fx:int(mean*w*h)]' info:
}
# Pixels of a crop that are not the background colour (#202020) of the output.
content_pixels() {
  crop_pixels "$1" "$2" | awk '$3 != 32 || $4 != 32 || $5 != 32 { n++ } END { print n + 0 }'
}

e2e_activate 1260 15
wait_for 10 popover_rect || { cat "$HOME/quotabox.log" >&2; e2e_fail "Activate did not open the popover"; }
read -r x y w h < <(e2e_settled popover_rect) || e2e_fail "the popover never came to rest"
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
read -r x y w h < <(e2e_settled popover_rect) || e2e_fail "the popover never came to rest"
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
env -u SWAYSOCK -u I3SOCK "$quotabox" --mock-high >"$HOME/quotabox-placed.log" 2>&1 &
qpid=$!
e2e_track $qpid
e2e_item "waybar's watcher (second run)"
e2e_activate 1260 15
wait_for 10 popover_rect || e2e_fail "Activate did not open the popover without the IPC socket"
read -r x y w h < <(e2e_settled popover_rect) || e2e_fail "the popover never came to rest"
wtype -M ctrl , -m ctrl
wait_for 10 grown || e2e_fail "the settings page did not open without the IPC socket"
read -r x y w h < <(e2e_settled popover_rect) || e2e_fail "the popover never came to rest"
grim "$artifacts/popover-wayland-placed-settings.png"
e2e_log "placed by sway: settings page at ${x},${y} ${w}x${h}"
((h <= 720 - 48 - 8)) || e2e_fail "without the IPC socket the settings page is $h px high"
echo "e2e: wayland popover passed"
