#!/usr/bin/env bash
# Installs what is missing, builds the test preset (sanitizers on) and runs the whole test suite.
# Run as root, the tests of unreadable and read-only files skip (root reads and writes anything); they then
# run once more as user nobody, from copies of the test programs that such a user can reach.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
ctest --preset test 2>&1 | tee "$log" || status=$?
[ "$(id -u)" = 0 ] || exit "$status"
skipped=$(sed -n 's/^ *[0-9]*\/[0-9]* Test *#[0-9]*: \([^ ]*\) .*\*\*\*Skipped.*/\1/p' "$log" | paste -sd:)
[ -n "$skipped" ] || exit "$status"
echo
echo "== the tests that skipped as root, as user nobody"
dir=$(mktemp -d)
trap 'rm -f "$log"; rm -rf "$dir"' EXIT
chmod 755 "$dir"
mkdir -m 777 "$dir/home"
for program in build/test/tests/*/test_*; do
  case "$program" in *'['*) continue ;; esac
  [ -f "$program" ] && [ -x "$program" ] && cp "$program" "$dir/"
done
for program in "$dir"/test_*; do
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/config" XDG_STATE_HOME="$dir/home/state" \
    XDG_DATA_HOME="$dir/home/data" XDG_CACHE_HOME="$dir/home/cache" \
    "$program" --gtest_brief=1 --gtest_filter="$skipped" || status=1
done
exit "$status"
