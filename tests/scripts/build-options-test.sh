#!/usr/bin/env bash
# Configures the project twice in scratch folders and reads the generated build: the user's
# launcher and linker win over ours; warnings are on for our targets but errors only on request;
# the benchmarks come only when asked for.
set -uo pipefail
source_dir=${1:?usage: build-options-test.sh SOURCE_DIR}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

configure() {  # configure NAME CMAKE-ARGS...
  local name=$1; shift
  cmake -S "$source_dir" -B "$work/$name" -G Ninja -DBUILD_TESTING=OFF "$@" >"$work/$name.log" 2>&1 ||
    { cat "$work/$name.log" >&2; fail "$name: configure failed"; return 1; }
  cat "$work/$name/build.ninja" "$work/$name/CMakeFiles/rules.ninja" >"$work/$name.ninja"
}
# flags_of NAME OBJECT-PATTERN: the compile flags of the first object matching the pattern.
flags_of() { grep -A8 "^build $2" "$work/$1.ninja" | grep -m1 '^  FLAGS = '; }

if configure user -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER_LAUNCHER=/usr/bin/env \
     -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=bfd -DCMAKE_CXX_FLAGS=-Wno-error; then
  grep -q 'command = /usr/bin/env ' "$work/user.ninja" || fail "the user's launcher is not used"
  ! grep -q 'ccache' "$work/user.ninja" || fail "ccache replaces the user's launcher"
  ! grep -q -- '-fuse-ld=lld' "$work/user.ninja" || fail "lld overrides the user's linker"
  flags=$(flags_of user 'UsageCore/CMakeFiles/UsageCore.dir/')
  [[ "$flags" == *"-Wno-error"*"-Wall -Wextra"* ]] || fail "warnings not on the core, after the user's flags: $flags"
  [[ "$flags" != *"-Werror"* ]] || fail "warnings are errors without QUOTABOX_WERROR: $flags"
  ! grep -q 'bench/' "$work/user.ninja" || fail "benchmarks built without QUOTABOX_BENCHMARKS"
fi

if configure strict -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOTABOX_WERROR=ON -DQUOTABOX_BENCHMARKS=ON; then
  flags=$(flags_of strict 'Quotabox/CMakeFiles/QuotaboxShell.dir/')
  [[ "$flags" == *"-Wall -Wextra"*"-Werror"* ]] || fail "QUOTABOX_WERROR does not make warnings errors: $flags"
  grep -q 'bench/' "$work/strict.ninja" || fail "QUOTABOX_BENCHMARKS builds no benchmark"
fi

[[ $failures == 0 ]] && echo "build-options: all cases passed"
exit $((failures > 0))
