#!/usr/bin/env bash
# The tray item in KDE Plasma 5: kwin_wayland (virtual output), kded5 with the
# StatusNotifierWatcher and plasmashell (Breeze's light panel), then quotabox --mock: both services
# at normal levels, so the glyph is drawn in the neutral colour alone.
# Usage: tray_plasma.sh QUOTABOX ARTIFACT_DIR. Exits 77 (skipped) only when Plasma's packages are
# not installed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip kwin_wayland plasmashell kded5 spectacle gdbus convert dbus-run-session runuser
[[ -d /usr/share/plasma/shells/org.kde.plasma.desktop ]] || e2e_skip "plasma-desktop is not installed"
[[ -e /usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so ]] ||
  compgen -G "/usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so" >/dev/null || e2e_skip "qtwayland5 is not installed"
e2e_enter "$@"
e2e_keep_logs plasma
unset DISPLAY WAYLAND_DISPLAY
export LC_ALL=C.UTF-8
export XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 XDG_SESSION_TYPE=wayland
e2e_system_bus

# No screen locker in the middle of a run.
printf '[Daemon]\nAutolock=false\nLockOnResume=false\n' >"$XDG_CONFIG_HOME/kscreenlockerrc"

# The installed binary carries file capabilities that containers may refuse to exec; a copy has none.
kwin=$HOME/kwin_wayland
cp "$(command -v kwin_wayland)" "$kwin"
"$kwin" --virtual --width 1280 --height 800 --socket wayland-q >"$HOME/kwin.log" 2>&1 &
e2e_track $!
wait_for 20 test -S "$XDG_RUNTIME_DIR/wayland-q" || { tail "$HOME/kwin.log" >&2; e2e_fail "kwin_wayland did not start"; }
export WAYLAND_DISPLAY=wayland-q QT_QPA_PLATFORM=wayland
dbus-update-activation-environment WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_CURRENT_DESKTOP KDE_FULL_SESSION \
  KDE_SESSION_VERSION XDG_SESSION_TYPE HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME \
  ${DBUS_SYSTEM_BUS_ADDRESS:+DBUS_SYSTEM_BUS_ADDRESS}

# plasmashell gives up when the activity manager is not there yet.
/usr/lib/*/libexec/kactivitymanagerd >"$HOME/kactivitymanagerd.log" 2>&1 &
e2e_track $!
wait_for 15 bus_has org.kde.ActivityManager || e2e_fail "kactivitymanagerd did not start"
kded5 >"$HOME/kded.log" 2>&1 &
e2e_track $!
wait_for 20 bus_has org.kde.StatusNotifierWatcher || e2e_fail "kded5 did not start the StatusNotifierWatcher"
plasmashell >"$HOME/plasma.log" 2>&1 &
e2e_track $!
host_up() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered |
    grep -q true
}
wait_for 40 host_up || { tail -20 "$HOME/plasma.log" >&2; e2e_fail "plasmashell's system tray did not register"; }

# The tray end of the panel before the item arrives (the clock excluded): what changes is the item.
panel=210x44+930+756
before=$artifacts/plasma-before.png
panel_drawn() {
  spectacle -b -n -f -o "$before" >/dev/null 2>&1 &&
    (($(crop_pixels "$before" "$panel" | awk '{ s += $3 } END { print int(s / (NR ? NR : 1)) }') > 150))
}
wait_for 30 panel_drawn || e2e_fail "Plasma's panel was never drawn (see $before)"
e2e_start "$HOME/quotabox.log" --mock
e2e_item "kded5's watcher"
e2e_log "registered as $service"

read -r width height < <(e2e_pixmap_size) || true
[[ "${width:-}" == "${height:-x}" ]] || e2e_fail "IconPixmap is ${width:-?}x${height:-?}, not square"

# Pixels of the panel that changed clearly (the panel's translucency shifts the rest a little)
# since `before`, as "x y r g b" (x, y relative to the panel).
changed_pixels() {
  paste -d' ' <(crop_pixels "$before" "$panel") <(crop_pixels "$1" "$panel") |
    awk 'function far(a, b) { return a - b > 40 || b - a > 40 }
      far($3, $8) || far($4, $9) || far($5, $10) { print $1, $2, $8, $9, $10 }'
}
shot=$artifacts/plasma-panel.png
# The new item is the leftmost change (the others move left to make room, the clock ticks): the
# 24 columns from there are the glyph. Breeze's panel is light, so it must be dark, not white.
item_pixels() {
  changed_pixels "$shot" | sort -n -k1,1 | awk 'NR == 1 { left = $1 } $1 < left + 24'
}
dark_item() {
  spectacle -b -n -f -o "$shot" >/dev/null 2>&1 &&
    (($(item_pixels | awk '$3 < 90 && $4 < 90 && $5 < 90 { n++ } END { print n + 0 }') >= 20))
}
wait_for 30 dark_item || e2e_fail "no dark glyph appeared in Plasma's light panel (see $shot)"
light=$(item_pixels | awk '$3 > 230 && $4 > 230 && $5 > 230 { n++ } END { print n + 0 }')
((light < 5)) || e2e_fail "the glyph has white parts on the light panel (see $shot)"
read -r ox oy < <(item_pixels | awk '$3 < 90 { print $1 + 930, $2 + 756; exit }')
e2e_log "the glyph is drawn dark on the light panel, first at $ox,$oy"

# Windows as KWin knows them, through a KWin script that prints their captions and sizes.
kwin_windows() {
  local script=$HOME/windows.js name=qbwindows$RANDOM
  printf 'workspace.clientList().forEach(function (c) { print("qbwin " + c.caption + " " + c.width + "x" + c.height); });\n' >"$script"
  gdbus call --session --dest org.kde.KWin --object-path /Scripting \
    --method org.kde.kwin.Scripting.loadScript "$script" "$name" >/dev/null || return 1
  gdbus call --session --dest org.kde.KWin --object-path /Scripting --method org.kde.kwin.Scripting.start >/dev/null
  sleep 0.3
  gdbus call --session --dest org.kde.KWin --object-path /Scripting \
    --method org.kde.kwin.Scripting.unloadScript "$name" >/dev/null 2>&1 || true
}
popover_open() {
  local before
  before=$(grep -ac 'qbwin Quotabox 360x' "$HOME/kwin.log" || true)
  kwin_windows
  (($(grep -ac 'qbwin Quotabox 360x' "$HOME/kwin.log" || true) > before))
}
# Plasma calls Activate on a left click.
e2e_activate "$ox" "$oy"
wait_for 10 popover_open || e2e_fail "Activate did not open the popover"
spectacle -b -n -f -o "$artifacts/plasma-popover.png" >/dev/null 2>&1 || true
e2e_log "Activate opens the popover"

# The menu Plasma draws: our dbusmenu answers with the entries.
layout=$(gdbus call --session --dest "$service" --object-path /MenuBar \
  --method com.canonical.dbusmenu.GetLayout -- 0 -1 '@as []')
for entry in "사용량 보기" 새로고침 설정 종료; do
  [[ $layout == *"$entry"* ]] || e2e_fail "the menu lacks $entry: $layout"
done
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: plasma tray passed"
