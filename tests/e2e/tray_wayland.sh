#!/usr/bin/env bash
# The tray item under a real StatusNotifierItem host: sway (headless) with waybar's tray, then
# quotabox --mock-high. Usage: tray_wayland.sh QUOTABOX ARTIFACT_DIR. Exits 77 (skipped) only when
# sway or waybar cannot start.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip sway swaymsg waybar grim convert dbus-run-session gdbus
e2e_enter "$@"

e2e_sway 1280x800
e2e_waybar_tray
export QT_QPA_PLATFORM=wayland
e2e_start "$HOME/quotabox.log" --mock-high
e2e_item "waybar's watcher"
e2e_log "registered as $service"

read -r width height < <(e2e_pixmap_size) || true
[[ -n "${width:-}" && -n "${height:-}" ]] || e2e_fail "IconPixmap unreadable"
((width > height)) || e2e_fail "IconPixmap is ${width}x${height}, not wider than high"
e2e_log "IconPixmap ${width}x${height}"

# Both services are critical in --mock-high at the default thresholds: red in the bar.
shot=$artifacts/wayland-bar.png
red_in_bar() { grim "$shot" && (($(count_colour "$shot" 1280x30+0+0 red) >= 10)); }
wait_for 15 red_in_bar || e2e_fail "no red glyph pixels in waybar's tray (see $shot)"
e2e_log "red pixels in the bar: $(count_colour "$shot" 1280x30+0+0 red)"

popover_shown() { swaymsg -t get_tree | grep -q '"name": "Quotabox"'; }
e2e_activate 1260 15
wait_for 10 popover_shown || e2e_fail "Activate did not open the popover"
sleep 0.5
grim "$artifacts/wayland-popover.png" || true
swaymsg -t get_tree >"$artifacts/wayland-tree.json" || true
e2e_activate 1260 15
popover_gone() { ! popover_shown; }
wait_for 10 popover_gone || e2e_fail "a second Activate did not close the popover"
e2e_log "Activate toggles the popover"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: wayland tray passed"
