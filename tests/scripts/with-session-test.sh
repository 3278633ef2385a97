#!/usr/bin/env bash
# Runs scripts/with-session several times, once ended by SIGTERM, and checks that neither the Xvfb
# server it started nor its runtime folder outlives it.
set -uo pipefail

with_session=${1:?usage: with-session-test.sh PATH-TO-with-session}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The Xvfb process serving the display, from the display's lock file (checking only, never killing).
xvfb_for() {
  local pid
  pid=$(tr -d ' ' 2>/dev/null < "/tmp/.X${1#:}-lock") || return 0
  [[ -n "$pid" && "$(cat "/proc/$pid/comm" 2>/dev/null)" == Xvfb ]] && echo "$pid"
  return 0
}

check_gone() {
  local label=$1 report=$2
  if [[ ! -s "$report" ]]; then fail "$label: the inner command never ran"; return; fi
  local display runtime
  read -r display runtime < "$report"
  for _ in $(seq 1 50); do
    [[ -z "$(xvfb_for "$display")" && ! -e "$runtime" ]] && break
    sleep 0.1
  done
  [[ -z "$(xvfb_for "$display")" ]] || fail "$label: Xvfb on $display is still running"
  [[ ! -e "$runtime" ]] || fail "$label: $runtime is still there"
}

# Normal runs keep the inner command's exit status.
for run in 1 2 3; do
  report="$work/run-$run"
  "$with_session" bash -c 'echo "$DISPLAY $XDG_RUNTIME_DIR" > "$1"; exit 7' inner "$report"
  status=$?
  [[ $status -eq 7 ]] || fail "run $run: exit status $status instead of the inner command's 7"
  check_gone "run $run" "$report"
done

# Sessions started at the same moment get displays of their own.
for run in 1 2 3; do
  "$with_session" bash -c 'echo "$DISPLAY $XDG_RUNTIME_DIR" > "$1"; sleep 1' inner "$work/together-$run" &
done
wait
for run in 1 2 3; do check_gone "simultaneous run $run" "$work/together-$run"; done
together=$(cut -d' ' -f1 "$work"/together-* | sort -u | wc -l)
[[ $together -eq 3 ]] || fail "three simultaneous sessions shared displays ($together distinct)"

# SIGTERM while the inner command still runs.
report="$work/killed"
"$with_session" bash -c 'echo "$DISPLAY $XDG_RUNTIME_DIR" > "$1"; sleep 60' inner "$report" &
session=$!
for _ in $(seq 1 100); do [[ -s "$report" ]] && break; sleep 0.1; done
kill -TERM "$session"
ended=0
for _ in $(seq 1 100); do
  if ! kill -0 "$session" 2>/dev/null; then ended=1; break; fi
  sleep 0.1
done
if [[ $ended -eq 1 ]]; then
  wait "$session"
  check_gone "terminated run" "$report"
else
  fail "with-session did not end within 10 s of SIGTERM"
  kill -KILL "$session" 2>/dev/null
fi

[[ $failures -eq 0 ]] && echo "with-session cleaned up after every run"
exit $(( failures > 0 ))
