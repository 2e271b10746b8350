#!/usr/bin/env bash
# Whole-process benchmark of the directory scan on the real corpora, side by side with the floor of reading
# every byte of the same tree once. Usage: bench/scan.sh [CORPORA_DIR]
# Needs a release build (cmake --preset release && cmake --build --preset release) and hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
corpora=${1:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/scan.sh: build the release preset first" >&2; exit 1; }
out=${BENCH_OUT:-build/bench}
mkdir -p "$out"
settings=$(mktemp); trap 'rm -f "$settings"' EXIT   # defaults only: no user settings leak into the figures

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(free -g | awk '/Mem:/{print $2}') GiB"
for c in py stdcxx jdk; do
  dir=$corpora/$c
  printf '\n== %s: %s files, %s directories, %s\n' "$c" "$(find "$dir" -type f | wc -l)" \
    "$(find "$dir" -type d | wc -l)" "$(du -sh "$dir" | cut -f1)"
  hyperfine --style basic --warmup 2 --runs 10 --export-markdown "$out/scan-$c.md" \
    -n "korvel scan" "$korvel --settings $settings scan $dir >/dev/null" \
    -n "cat every byte" "find $dir -type f -print0 | xargs -0 cat >/dev/null"
  /usr/bin/time -f "peak resident memory of korvel scan: %M KiB" "$korvel" --settings "$settings" scan "$dir" >/dev/null
done
