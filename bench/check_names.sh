#!/usr/bin/env bash
# Whole-process benchmark of the name check on the real corpora: korvel check --files-only with a target
# under which nearly every name changes, side by side with the floor of reading every byte once, with
# korvel scan (to see what the name passes add) and with a dry run of the detox renamer for reference.
# Usage: bench/check_names.sh [CORPORA_DIR]   (needs the release preset built, hyperfine and detox)
set -euo pipefail
cd "$(dirname "$0")/.."
corpora=${1:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/check_names.sh: build the release preset first" >&2; exit 1; }
out=${BENCH_OUT:-build/bench}
mkdir -p "$out"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
settings=$work/korvel.ini   # no such file: the defaults, whatever the user stored

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(free -g | awk '/Mem:/{print $2}') GiB"
for c in py stdcxx jdk; do
  dir=$corpora/$c
  cp -a "$dir" "$work/$c"   # detox works on a copy, though -n changes nothing
  printf '\n== %s: %s files, %s directories\n' "$c" "$(find "$dir" -type f | wc -l)" "$(find "$dir" -type d | wc -l)"
  hyperfine --style basic --warmup 2 --runs 10 -i --export-markdown "$out/check-names-$c.md" \
    -n "korvel check --files-only --target dos --case lower" \
       "$korvel --settings $settings check $dir --files-only --target dos --case lower >/dev/null" \
    -n "korvel scan" "$korvel --settings $settings scan $dir >/dev/null" \
    -n "cat every byte" "find $dir -type f -print0 | xargs -0 cat >/dev/null" \
    -n "detox -n -r (reference)" "detox -n -r $work/$c >/dev/null"
  /usr/bin/time -f "peak resident memory of the check: %M KiB" \
    "$korvel" --settings "$settings" check "$dir" --files-only --target dos --case lower >/dev/null || true
  rm -rf "${work:?}/$c"
done
