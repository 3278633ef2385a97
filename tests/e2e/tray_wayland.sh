#!/usr/bin/env bash
# The tray item under a real StatusNotifierItem host: sway (headless) with waybar's tray.
# Usage: tray_wayland.sh QUOTABOX ARTIFACT_DIR. sway refuses to run as root, so a root caller
# runs the session as an unprivileged test user. Exits 77 (skipped) only when sway or waybar
# cannot start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2

for tool in sway swaymsg waybar grim convert dbus-run-session gdbus; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
mkdir -p "$artifacts"
chmod 755 "$artifacts"

if [[ $(id -u) -ne 0 ]]; then
  exec dbus-run-session -- bash "$here/tray_wayland_session.sh" "$quotabox" "$artifacts"
fi

# A user of this run only, removed with everything it owned when the test ends: runs side by side
# never share one, and none is left behind.
user=qbx-e2e-$$
work=$(mktemp -d /tmp/quotabox-wayland-XXXXXX)
added_user=false
cleanup() {
  if $added_user; then
    chown -R "$(id -u):$(id -g)" "$artifacts" 2>/dev/null || true
    # The session ends its own processes; give a straggler a moment before the user goes.
    for _ in $(seq 1 50); do userdel "$user" 2>/dev/null && break; sleep 0.1; done
    id "$user" >/dev/null 2>&1 && e2e_log "could not remove the user $user"
  fi
  rm -rf "$work"
}
trap cleanup EXIT
useradd --system --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin "$user" 2>/dev/null ||
  e2e_skip "cannot add the user $user"
added_user=true
mkdir -p "$work/home" "$work/run"
chown "$user" "$work" "$work/home" "$work/run"
# Also the images an earlier run left, which this run replaces; they return to the caller at the end.
chown -R "$user" "$artifacts"
chmod 700 "$work" "$work/run"
# runuser passes the status through; the session script cleans up its own processes.
# Sanitizer builds keep their options (suppressions) across the clean environment.
sanitizer_env=()
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  [[ -n "${!name:-}" ]] && sanitizer_env+=("$name=${!name}")
done
runuser -u "$user" -- env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "${sanitizer_env[@]}" \
  dbus-run-session -- bash "$here/tray_wayland_session.sh" "$quotabox" "$artifacts"
