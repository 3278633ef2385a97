#!/usr/bin/env bash
# scripts/test against stand-in cmake, ctest and helper scripts: a failed configure, build, test run
# or fuzz step makes the whole run fail and is named in the summary; after a failed configure or
# build the stale binaries are never tested; the other build still runs.
set -uo pipefail
script=${1:?usage: test-script-test.sh PATH-TO-scripts/test}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

root="$work/root"
mkdir -p "$root/scripts" "$work/bin"
cp "$script" "$root/scripts/test"
printf '#!/bin/sh\nexit 0\n' >"$root/scripts/bootstrap"
printf '#!/bin/sh\nexec "$@"\n' >"$root/scripts/with-session"
printf '#!/bin/sh\necho fuzz >>"$CALLS"\n[ "$FAIL_AT" != fuzz ]\n' >"$root/scripts/fuzz"
# Each stand-in logs "<tool> <build folder name>" and fails when that matches FAIL_AT.
cat >"$work/bin/cmake" <<'STUB'
#!/bin/bash
kind=configure dir=
while [[ $# -gt 0 ]]; do
  case $1 in
    --build) kind=build; dir=$2; shift ;;
    -B) dir=$2; shift ;;
  esac
  shift
done
echo "$kind $(basename "$dir")" >>"$CALLS"
[[ "$FAIL_AT" != "$kind $(basename "$dir")" ]]
STUB
cat >"$work/bin/ctest" <<'STUB'
#!/bin/bash
while [[ $# -gt 0 && $1 != --test-dir ]]; do shift; done
echo "test $(basename "$2")" >>"$CALLS"
[[ "$FAIL_AT" != "test $(basename "$2")" ]]
STUB
chmod +x "$root/scripts/"* "$work/bin/"*

all="configure build|build build|test build|configure build-asan|build build-asan|test build-asan|fuzz"
# case FAIL_AT EXPECTED-CALLS EXPECTED-FAILED-STEP
check() {
  local fail_at=$1 calls=$2 named=$3 out status=0
  : >"$work/calls"
  out=$(cd "$work" && PATH="$work/bin:$PATH" CALLS="$work/calls" FAIL_AT="$fail_at" "$root/scripts/test" 2>&1) ||
    status=$?
  local ran
  ran=$(paste -sd '|' "$work/calls")
  [[ "$ran" == "$calls" ]] || fail "${fail_at:-nothing failing}: ran $ran, expected $calls"
  if [[ -z "$named" ]]; then
    [[ $status == 0 && "$out" == *"all tests passed"* ]] || fail "clean run: status $status: $out"
  else
    [[ $status != 0 ]] || fail "$fail_at: exit status 0"
    [[ "$(tail -n 1 <<<"$out")" == "== FAILED: $named" ]] || fail "$fail_at: summary: $(tail -n 1 <<<"$out")"
  fi
}

check "" "$all" ""
check "configure build" "configure build|configure build-asan|build build-asan|test build-asan|fuzz" \
  "normal build: configure"
check "build build" "configure build|build build|configure build-asan|build build-asan|test build-asan|fuzz" \
  "normal build: build"
check "test build" "$all" "normal build: tests"
check "build build-asan" "configure build|build build|test build|configure build-asan|build build-asan|fuzz" \
  "sanitizer build: build"
check "fuzz" "$all" "fuzz targets"

[[ $failures == 0 ]] && echo "test-script: all cases passed"
exit $((failures > 0))
