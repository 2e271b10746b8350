#!/usr/bin/env bash
# The check and the fix of two builds of korvel side by side in one run, on the real corpora: this build
# (the release preset) and another one (a baseline built from an earlier commit), alternating, so that the
# drift of a shared machine falls on both alike.
#   check: korvel check with every report on, the report to a file.
#   fix:   korvel fix --target iso9660 --line-ends unix --yes on a fresh copy of the corpus each run (the
#          copy is made and written back to disk before the timed run), its undo journal in a fresh place.
# Usage: bench/versus.sh BASELINE_KORVEL [CORPORA_DIR]
#   e.g. git worktree add /tmp/base <commit> && (cd /tmp/base && cmake --preset release &&
#        cmake --build --preset release) && bench/versus.sh /tmp/base/build/release/src/cli/korvel
# Environment: RUNS (default 10), CORPORA (default "py jdk"). Needs hyperfine.
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=${1:?"usage: bench/versus.sh BASELINE_KORVEL [CORPORA_DIR]"}
corpora=${2:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/versus.sh: build the release preset first" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "bench/versus.sh: hyperfine is missing" >&2; exit 1; }
runs=${RUNS:-10}
out=${BENCH_OUT:-build/bench}
mkdir -p "$out"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export KORVEL_SETTINGS=$work/korvel.ini   # no such file: the defaults
export XDG_STATE_HOME=$work/state

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB; this: $(git rev-parse --short HEAD)"
for c in ${CORPORA:-py jdk}; do
  cp -a "$corpora/$c" "$work/$c"
  rm -f "$work/$c/report_of_external_refs.html"
  hyperfine -i --style basic --runs "$runs" --warmup 1 --prepare "sync" \
    --export-markdown "$out/versus-check-$c.md" \
    -n "baseline check $c" "$baseline check $work/$c --report $work/r.txt; rm -f $work/$c/report_of_external_refs.html" \
    -n "this check $c" "$korvel check $work/$c --report $work/r.txt; rm -f $work/$c/report_of_external_refs.html" || true
  hyperfine -i --style basic --runs "$runs" --warmup 1 \
    --prepare "rm -rf $work/fix $work/state && cp -a $corpora/$c $work/fix && rm -f $work/fix/report_of_external_refs.html && sync" \
    --export-markdown "$out/versus-fix-$c.md" \
    -n "baseline fix $c" "$baseline fix $work/fix --target iso9660 --line-ends unix --yes --report $work/f.txt" \
    -n "this fix $c" "$korvel fix $work/fix --target iso9660 --line-ends unix --yes --report $work/f.txt" || true
  rm -rf "$work/$c" "$work/fix"
done
