#!/usr/bin/env bash
# The tray item on GNOME Shell (headless, Wayland) with the AppIndicator extension, as Ubuntu ships
# it. Usage: tray_gnome.sh QUOTABOX ARTIFACT_DIR. Exits 77 (skipped) only when the shell or the
# extension is not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2

for tool in gnome-shell gsettings gdbus convert tesseract dbus-run-session runuser; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
[[ -d /usr/share/gnome-shell/extensions/ubuntu-appindicators@ubuntu.com ]] ||
  e2e_skip "gnome-shell-extension-appindicator is not installed"
mkdir -p "$artifacts"
chmod 755 "$artifacts"

if [[ $(id -u) -ne 0 ]]; then
  exec dbus-run-session -- bash "$here/tray_gnome_session.sh" "$quotabox" "$artifacts"
fi
chown quotabox-e2e "$artifacts" 2>/dev/null || true
e2e_as_test_user "$here/tray_gnome_session.sh" "$quotabox" "$artifacts"
