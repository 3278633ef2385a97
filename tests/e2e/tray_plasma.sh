#!/usr/bin/env bash
# The tray item in KDE Plasma 5 (kwin_wayland --virtual + plasmashell, Breeze's light panel).
# Usage: tray_plasma.sh QUOTABOX ARTIFACT_DIR. Exits 77 (skipped) only when Plasma's packages are
# not installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2

for tool in kwin_wayland plasmashell kded5 spectacle gdbus convert dbus-run-session runuser; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
[[ -d /usr/share/plasma/shells/org.kde.plasma.desktop ]] || e2e_skip "plasma-desktop is not installed"
[[ -e /usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so ]] ||
  compgen -G "/usr/lib/*/qt5/plugins/platforms/libqwayland-generic.so" >/dev/null || e2e_skip "qtwayland5 is not installed"
mkdir -p "$artifacts"
chmod 755 "$artifacts"

if [[ $(id -u) -ne 0 ]]; then
  exec dbus-run-session -- bash "$here/tray_plasma_session.sh" "$quotabox" "$artifacts"
fi
chown quotabox-e2e "$artifacts" 2>/dev/null || true
e2e_as_test_user "$here/tray_plasma_session.sh" "$quotabox" "$artifacts"
