#!/usr/bin/env bash
# The status-bar module in a real waybar on sway (headless), configured as the README says.
# Usage: waybar_module.sh QUOTABOX ARTIFACT_DIR. As root, the session runs as an unprivileged test
# user (sway refuses root). Exits 77 (skipped) only when sway or waybar cannot start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
quotabox=$1
artifacts=$2

for tool in sway swaymsg waybar grim convert dbus-run-session python3 pgrep; do
  command -v "$tool" >/dev/null || e2e_skip "$tool is not installed"
done
mkdir -p "$artifacts"
chmod 755 "$artifacts"
fixtures=$(cd "$here/../fixtures" && pwd)

if [[ $(id -u) -ne 0 ]]; then
  exec dbus-run-session -- bash "$here/waybar_module_session.sh" "$quotabox" "$artifacts" "$fixtures"
fi

user=quotabox-e2e
if ! id "$user" >/dev/null 2>&1; then
  useradd --system --create-home --shell /usr/sbin/nologin "$user" 2>/dev/null || e2e_skip "cannot add the user $user"
fi
work=$(mktemp -d /tmp/quotabox-waybar-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/run"
cp "$fixtures/claude-credentials.json" "$fixtures/claude-usage-with-limits.json" "$work/"
chown -R "$user" "$work" "$artifacts"
chmod 700 "$work" "$work/run"
sanitizer_env=()
for name in ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS; do
  [[ -n "${!name:-}" ]] && sanitizer_env+=("$name=${!name}")
done
runuser -u "$user" -- env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "${sanitizer_env[@]}" \
  dbus-run-session -- bash "$here/waybar_module_session.sh" "$quotabox" "$artifacts" "$work"
