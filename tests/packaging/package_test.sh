#!/usr/bin/env bash
# Packages the build as a .deb, unpacks it into a scratch root and runs the installed program.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d /tmp/quotabox-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/quotabox_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libqt6widgets6* && "$depends" == *libicu* ]] || fail "dependencies miss Qt or ICU: $depends"

dpkg -x "$deb" "$work/root"
usr="$work/root/usr"
for f in bin/quotabox libexec/quotabox/quotabox-desktop libexec/quotabox/quotabox-http.so share/applications/com.orrisfen.Quotabox.desktop \
         share/icons/hicolor/scalable/apps/com.orrisfen.Quotabox.svg share/metainfo/com.orrisfen.Quotabox.metainfo.xml; do
  [[ -f "$usr/$f" ]] || fail "missing /usr/$f"
done
for f in share/man/man1/quotabox.1.gz share/doc/quotabox/copyright share/doc/quotabox/changelog.gz \
         share/bash-completion/completions/quotabox share/zsh/vendor-completions/_quotabox \
         share/fish/vendor_completions.d/quotabox.fish; do
  [[ -f "$usr/$f" ]] || fail "missing /usr/$f"
done

# Debian's own checker: no error and no warning. Informational tags are shown, not failed on (a
# build without Debian's hardening flags has some).
status=0
lintian --pedantic --display-info --tag-display-limit 0 --fail-on error,warning "$deb" >"$work/lintian.log" \
  2>"$work/lintian.err" || status=$?
[[ $status == 0 ]] || { cat "$work/lintian.log" "$work/lintian.err"; fail "lintian reports errors or warnings"; }
[[ ! -s "$work/lintian.log" ]] || { echo "package test: lintian notes:"; cat "$work/lintian.log"; }
[[ "$(zcat "$usr/share/doc/quotabox/changelog.gz" | head -n 1)" == "quotabox ($version) "* ]] ||
  fail "the changelog's latest entry is not $version"

# The manual page renders without a groff warning and, like each shell's completion, knows every
# option the program's help names.
LC_ALL=C.UTF-8 MANWIDTH=100 man --warnings -E UTF-8 -l "$usr/share/man/man1/quotabox.1.gz" \
  >"$work/man.txt" 2>"$work/man.err" || fail "man -l failed"
[[ ! -s "$work/man.err" ]] || { cat "$work/man.err"; fail "the manual page has groff warnings"; }
options=$("$usr/bin/quotabox" --help | grep -oE '(^|[ ,])--?[a-zA-Z][-a-zA-Z]*' | tr -d ' ,' | sort -u)
[[ $(wc -l <<<"$options") -ge 15 ]] || fail "too few options in --help: $options"
for option in $options; do
  grep -qF -- "$option" "$work/man.txt" || fail "the manual page lacks $option"
  for completion in share/bash-completion/completions/quotabox share/zsh/vendor-completions/_quotabox \
                    share/fish/vendor_completions.d/quotabox.fish; do
    name=${option#-}; name=${name#-}  # fish names options without dashes
    grep -qE -- "(^|[^-a-z])-?-?$name([^-a-z]|\$)" "$usr/$completion" || fail "$completion lacks $option"
  done
done
bash -c "source '$usr/share/bash-completion/completions/quotabox'
         COMP_WORDS=(quotabox --mock-h); COMP_CWORD=1; _quotabox; [[ \"\${COMPREPLY[*]}\" == --mock-high ]]" ||
  fail "bash completion does not complete --mock-h"

desktop-file-validate "$usr/share/applications/com.orrisfen.Quotabox.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net --pedantic "$usr/share/metainfo/com.orrisfen.Quotabox.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log"; fail "metainfo invalid"; }
# The screenshot entry names the image kept beside the metadata, with its real size.
python3 - "$usr/share/metainfo/com.orrisfen.Quotabox.metainfo.xml" "$(dirname "$0")/../../packaging/screenshots" <<'PY' ||
import os, struct, sys, xml.etree.ElementTree as ET
image = ET.parse(sys.argv[1]).find("screenshots/screenshot/image")
png = open(os.path.join(sys.argv[2], os.path.basename(image.text)), "rb").read(24)
assert png[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
size = struct.unpack(">II", png[16:24])
assert size == (int(image.get("width")), int(image.get("height"))), size
PY
  fail "the screenshot entry does not match packaging/screenshots"

[[ "$("$usr/bin/quotabox" --version)" == "Quotabox $version" ]] || fail "unexpected --version"
[[ "$("$usr/bin/quotabox" -V)" == "Quotabox $version" ]] || fail "unexpected -V"
mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  "$usr/bin/quotabox" --mock --json >"$work/report.json" </dev/null || fail "--mock --json failed"
python3 - "$work/report.json" <<'PY' || fail "report is not the expected JSON"
import json, sys
report = json.load(open(sys.argv[1]))
services = [s["service"] for s in report["services"]]
assert services == ["claude", "codex"], services
assert all(s["status"] == "ok" and s["windows"] for s in report["services"])
PY
# The installed launcher loads its HTTP module from libexec: the request is refused, nothing is missing.
mkdir -p "$work/claude" && printf '{"claudeAiOauth":{"accessToken":"t"}}' >"$work/claude/.credentials.json"
status=0
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
  CLAUDE_CONFIG_DIR="$work/claude" QUOTABOX_CLAUDE_USAGE_URL=http://127.0.0.1:9/ \
  "$usr/bin/quotabox" --json >/dev/null 2>"$work/http.err" </dev/null || status=$?
[[ $status == 0 ]] && ! grep -q quotabox-http "$work/http.err" ||
  { cat "$work/http.err"; fail "the installed launcher did not load its HTTP module"; }
# A snapshot runs in the desktop program, which the installed launcher finds in libexec.
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" "$usr/bin/quotabox" --snapshot "$work/shots" >/dev/null </dev/null ||
  fail "--snapshot through the installed launcher failed"
[[ -f "$work/shots/popover-normal-light.png" ]] || fail "the snapshot wrote no image"
echo "package test: $(basename "$deb") installs and runs"
