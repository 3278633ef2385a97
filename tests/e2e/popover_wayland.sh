#!/usr/bin/env bash
# The popover on sway (headless, 1280x720) with waybar's tray: placed under the bar near the click,
# and never taller than the output. Usage: popover_wayland.sh QUOTABOX ARTIFACT_DIR. sway refuses to
# run as root, so a root caller runs the session as an unprivileged test user. Exits 77 (skipped)
# only when sway or waybar cannot start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2

for tool in sway swaymsg waybar grim wtype convert python3 dbus-run-session gdbus; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
mkdir -p "$artifacts"
chmod 755 "$artifacts"

if [[ $(id -u) -ne 0 ]]; then
  exec dbus-run-session -- bash "$here/popover_wayland_session.sh" "$quotabox" "$artifacts"
fi

user=quotabox-e2e
if ! id "$user" >/dev/null 2>&1; then
  useradd --system --create-home --shell /usr/sbin/nologin "$user" 2>/dev/null || e2e_skip "cannot add the user $user"
fi
work=$(mktemp -d /tmp/quotabox-popover-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run"
chown "$user" "$work" "$work/home" "$work/run" "$artifacts"
chmod 700 "$work" "$work/run"
sanitizer_env=()
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  [[ -n "${!name:-}" ]] && sanitizer_env+=("$name=${!name}")
done
runuser -u "$user" -- env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "${sanitizer_env[@]}" \
  dbus-run-session -- bash "$here/popover_wayland_session.sh" "$quotabox" "$artifacts"
