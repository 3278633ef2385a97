#!/usr/bin/env bash
# The tray item on GNOME Shell (headless, Wayland) with the AppIndicator extension, as Ubuntu ships
# it, and a test-only extension that turns on unsafe mode (so Eval and Screenshot answer); then
# quotabox --mock-high (Claude 91 %, ChatGPT 92 %). Usage: tray_gnome.sh QUOTABOX ARTIFACT_DIR.
# Exits 77 (skipped) only when the shell or the extension is not installed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_need skip gnome-shell gsettings gdbus convert tesseract dbus-run-session runuser
[[ -d /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com ]] ||
  e2e_skip "gnome-shell-extension-appindicator is not installed"
e2e_enter "$@"
e2e_keep_logs gnome
unset DISPLAY WAYLAND_DISPLAY
export LC_ALL=C.UTF-8
e2e_system_bus

unsafe=$XDG_DATA_HOME/gnome-shell/extensions/unsafe@quotabox.test
mkdir -p "$unsafe"
printf '{"uuid": "unsafe@quotabox.test", "name": "unsafe", "description": "tests only", "shell-version": ["43"]}\n' \
  >"$unsafe/metadata.json"
printf 'function init() {}\nfunction enable() { global.context.unsafe_mode = true; }\nfunction disable() {}\n' \
  >"$unsafe/extension.js"
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell enabled-extensions "['ubuntu-appindicators@ubuntu.com', 'unsafe@quotabox.test']"
gsettings set org.gnome.desktop.notifications show-banners false

gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 >"$HOME/shell.log" 2>&1 &
e2e_track $!

# shell_eval JS: the JSON of the expression's value; fails when the shell refuses.
shell_eval() {
  local reply
  reply=$(gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.gnome.Shell.Eval "$1" 2>/dev/null) || return 1
  [[ $reply == "(true, "* ]] || return 1
  reply=${reply#"(true, '"}
  printf '%s\n' "${reply%"')"}"
}
unsafe_on() { [[ $(shell_eval 'global.context.unsafe_mode') == true ]]; }
wait_for 40 unsafe_on || { tail -20 "$HOME/shell.log" >&2; e2e_fail "gnome-shell did not start with unsafe mode"; }
appindicator_on() {
  [[ $(shell_eval "Main.extensionManager.lookup('ubuntu-appindicators@ubuntu.com').state") == 1 ]]
}
wait_for 10 appindicator_on || e2e_fail "the AppIndicator extension is not enabled"
shell_eval 'Main.overview.hide(); 0' >/dev/null
# Once enabled, the extension scans the bus for items on an idle callback; an item registering
# during that scan is set up twice, which this extension version does not survive. Users start
# later than the shell; so does the test.
started() { [[ $(shell_eval 'Main.layoutManager._startingUp') == false ]]; }
wait_for 20 started || e2e_fail "gnome-shell did not finish starting"
sleep 3
export WAYLAND_DISPLAY=wayland-0

screenshot() {
  gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null
}

export QT_QPA_PLATFORM=wayland
e2e_start "$HOME/quotabox.log" --mock-high
e2e_item "the extension"

# The extension's button for our item, and JSON about it.
button='Object.values(Main.panel.statusArea).find(b => b._indicator && b._indicator.id === "quotabox")'
shown() { [[ $(shell_eval "!!($button) && ($button).visible") == true ]]; }
wait_for 15 shown || e2e_fail "the extension registered the item but shows no button for it"
e2e_log "the extension shows the item"

# GNOME fits icons into a square: the item sends the square glyph there.
read -r width height < <(e2e_pixmap_size) || true
[[ "${width:-}" == "${height:-x}" ]] || e2e_fail "IconPixmap is ${width:-?}x${height:-?}, not square"

label=$(shell_eval "($button)._label ? ($button)._label.text : ''")
[[ $label == *"C 91% · G 92%"* ]] || e2e_fail "the panel label reads $label"
e2e_log "label $label"

# Where the button is, in screen pixels: x y width height.
read -r bx by bw bh < <(shell_eval "(() => { const b = $button; const [x, y] = b.get_transformed_position();
  return [x, y, b.width, b.height].map(Math.round).join(' '); })()" | tr -d '"')
e2e_log "button at $bx,$by size ${bw}x$bh"
shot=$artifacts/gnome-bar.png
screenshot "$shot"
read_label() { ocr_crop "$shot" "$((bw + 8))x$((bh))+$((bx - 4))+$by"; }
ocr=$(read_label)
e2e_log "OCR of the button: $ocr"
[[ $ocr == *91* && $ocr == *92* ]] || e2e_fail "the label does not read as 91 and 92 on screen (OCR: $ocr; see $shot)"
# The glyph: red pixels (both services critical) inside the button.
(($(count_colour "$shot" "${bw}x${bh}+$bx+$by" red) >= 6)) || e2e_fail "no red glyph pixels in the button (see $shot)"

# Clicks through a virtual pointer, as a user's would arrive.
click() { # x y [count]
  shell_eval "(() => { const {Clutter, GLib} = imports.gi;
    global._qbPointer = global._qbPointer || Clutter.get_default_backend().get_default_seat()
      .create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
    const d = global._qbPointer; let t = GLib.get_monotonic_time();
    d.notify_absolute_motion(t, $1, $2);
    for (let i = 0; i < ${3:-1}; i++) {
      d.notify_button(t += 20000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);
      d.notify_button(t += 20000, Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);
    }
    return 0; })()" >/dev/null
}
popover_open() {
  [[ $(shell_eval 'global.get_window_actors().some(a => a.meta_window.get_title() === "Quotabox" && a.visible)') == true ]]
}
menu_open() { [[ $(shell_eval "($button).menu.isOpen") == true ]]; }

# A single left click opens the extension's own drawing of our menu.
click $((bx + bw / 2)) $((by + bh / 2))
wait_for 5 menu_open || e2e_fail "a left click opened no menu"
sleep 0.5
screenshot "$artifacts/gnome-menu.png"
entries=$(shell_eval "($button).menu._getMenuItems().map(i =>
  i instanceof imports.ui.popupMenu.PopupSeparatorMenuItem ? '-' : i.label.text).join('|')")
[[ $entries == '"사용량 보기|새로고침|설정|-|종료"' ]] || e2e_fail "the menu shows $entries"
e2e_log "menu entries $entries"

# 사용량 보기 opens the popover.
read -r ix iy < <(shell_eval "(() => { const i = ($button).menu._getMenuItems()[0];
  const [x, y] = i.get_transformed_position(); return [x + i.width / 2, y + i.height / 2].map(Math.round).join(' '); })()" |
  tr -d '"')
click "$ix" "$iy"
wait_for 10 popover_open || e2e_fail "사용량 보기 did not open the popover"
sleep 0.5
screenshot "$artifacts/gnome-popover.png"
e2e_log "the menu's first entry opens the popover"

# A double click is the extension's Activate: it toggles the popover.
popover_closed() { ! popover_open; }
click $((bx + bw / 2)) $((by + bh / 2)) 2
wait_for 10 popover_closed || e2e_fail "a double click did not close the popover"
sleep 1
click $((bx + bw / 2)) $((by + bh / 2)) 2
wait_for 10 popover_open || e2e_fail "a double click did not open the popover"
menu_open && e2e_fail "a double click also opened the menu"
e2e_log "a double click toggles the popover"
kill -0 "$qpid" || e2e_fail "quotabox exited"
echo "e2e: gnome tray passed"
