#!/usr/bin/env bash
# The check and the fix of two builds of korvel side by side in one run, on the real corpora: this build
# (the release preset) and another one (a baseline built from an earlier commit). The two alternate run by
# run, the first of each pair swapping every round, so that the drift of a shared machine (and the write-back
# that piles up over a series of fixes) falls on both alike; medians are compared.
#   check: korvel check with every report on, the report to a file.
#   fix:   korvel fix --target iso9660 --line-ends unix --yes on a fresh copy of the corpus each run (copied
#          and written back to disk before the timed run), its undo journal in a fresh place.
# Usage: bench/versus.sh BASELINE_KORVEL [CORPORA_DIR]
#   e.g. git worktree add /tmp/base <commit> && (cd /tmp/base && cmake --preset release &&
#        cmake --build --preset release) && bench/versus.sh /tmp/base/build/release/src/cli/korvel
# Environment: RUNS (default 10), CORPORA (default "py jdk"), JOBS (default "check fix"). Needs GNU time.
set -euo pipefail
cd "$(dirname "$0")/.."
baseline=${1:?"usage: bench/versus.sh BASELINE_KORVEL [CORPORA_DIR]"}
corpora=${2:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/versus.sh: build the release preset first" >&2; exit 1; }
runs=${RUNS:-10}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
export KORVEL_SETTINGS=$work/korvel.ini   # no such file: the defaults
export XDG_STATE_HOME=$work/state

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# timed JOB BINARY CORPUS: one run's wall seconds, after its preparation
timed() {
  local job=$1 bin=$2 c=$3
  rm -rf "$work/state"
  # A check changes nothing that the next one reads: one copy serves every check of a corpus.
  if [ "$job" = fix ] || [ "$(cat "$work/copied" 2>/dev/null)" != "$c" ]; then
    rm -rf "$work/site"
    cp -a "$corpora/$c" "$work/site"
    rm -f "$work/site/report_of_external_refs.html"
    sync
    if [ "$job" = fix ]; then rm -f "$work/copied"; else echo "$c" >"$work/copied"; fi
  fi
  local args=(check "$work/site")
  [ "$job" = fix ] && args=(fix "$work/site" --target iso9660 --line-ends unix --yes)
  /usr/bin/time -f %e -o "$work/t" "$bin" "${args[@]}" --report "$work/report.txt" >/dev/null 2>&1 || true
  cat "$work/t"
}

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB; this build: $(git rev-parse --short HEAD)"
printf '%-8s %-6s %12s %12s %8s\n' corpus job baseline this ratio
for c in ${CORPORA:-py jdk}; do
  for job in ${JOBS:-check fix}; do
    : >"$work/a"; : >"$work/b"
    timed "$job" "$korvel" "$c" >/dev/null   # warm-up
    for ((i = 0; i < runs; i++)); do
      if ((i % 2)); then
        timed "$job" "$korvel" "$c" >>"$work/b"; timed "$job" "$baseline" "$c" >>"$work/a"
      else
        timed "$job" "$baseline" "$c" >>"$work/a"; timed "$job" "$korvel" "$c" >>"$work/b"
      fi
    done
    a=$(median <"$work/a"); b=$(median <"$work/b")
    printf '%-8s %-6s %11ss %11ss %8.3f\n' "$c" "$job" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN {print b / a}')"
  done
done
