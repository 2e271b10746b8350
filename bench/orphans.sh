#!/usr/bin/env bash
# Whole-process benchmark of the orphans job and its undo on the real corpora. For each corpus, on a fresh
# copy every run: `korvel orphans DIR --move-to KEEP --yes` side by side with `cp -r` of the same orphan files
# (the files the job moves, copied with their relative paths), and with `korvel check` with every report
# off but orphans (the scan and the link walk, which the job needs to know what is an orphan); then
# `korvel undo DIR` after a fresh orphans run. Ends with a check that the undo gives back the pristine tree,
# byte for byte and mode for mode, and leaves KEEP empty.
#
# Usage: bench/orphans.sh [CORPORA_DIR]
# Needs the release preset built and hyperfine. Environment: RUNS (default 10), WARMUP (2), CORPORA (default
# "py stdcxx jdk"). Everything happens in a temporary directory that is removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
corpora=${1:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/orphans.sh: build the release preset first" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "bench/orphans.sh: hyperfine is missing" >&2; exit 1; }
runs=${RUNS:-10}
warmup=${WARMUP:-2}
out=${BENCH_OUT:-build/bench}
mkdir -p "$out"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
settings=$work/korvel.ini   # no such file: the defaults, whatever the user stored
export XDG_STATE_HOME=$work/state   # the undo journals, kept apart from the user's
extref=report_of_external_refs.html

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
for c in ${CORPORA:-py stdcxx jdk}; do
  pristine=$work/$c.pristine
  site=$work/$c
  keep=$work/keep-$c
  copies=$work/cp-$c
  list=$work/orphans-$c
  cp -a "$corpora/$c" "$pristine"
  rm -f "$pristine/$extref"   # left by a check on the shared tree: not part of the corpus
  # The copy's bytes go to the disk before the timing starts: the journal's flushes would wait for them.
  reset="rm -rf '$site' '$keep' '$XDG_STATE_HOME' && cp -a '$pristine' '$site' && mkdir '$keep' && sync"
  orphans="'$korvel' --settings '$settings' orphans '$site' --move-to '$keep' --yes >/dev/null"
  undo="'$korvel' --settings '$settings' undo '$site' >/dev/null"

  # The orphan files of this corpus, as the job moves them, for cp to copy.
  bash -c "$reset && $orphans"
  (cd "$keep/$c" && find . -type f -printf '%P\0') >"$list"
  bash -c "$undo"
  files=$(tr -cd '\0' <"$list" | wc -c)
  bytes=$(cd "$site" && xargs -0 -a "$list" du -cb | tail -1 | cut -f1)
  printf '\n== %s: %s orphan files, %s bytes\n' "$c" "$files" "$bytes"

  hyperfine --style basic --warmup "$warmup" --runs "$runs" --export-markdown "$out/orphans-$c.md" \
    --export-json "$out/orphans-$c.json" --prepare "$reset; rm -rf '$copies'; mkdir '$copies'" \
    -n "korvel orphans --move-to" "$orphans" \
    -n "cp -r of the orphans" "cd '$site' && xargs -0 -a '$list' cp -r --parents -t '$copies'" \
    -n "korvel check (orphans only)" \
    "'$korvel' --settings '$settings' check '$site' --no-report-broken --no-report-external --no-report-times >/dev/null || true"
  hyperfine --style basic --warmup "$warmup" --runs "$runs" --export-markdown "$out/orphans-undo-$c.md" \
    --export-json "$out/orphans-undo-$c.json" --prepare "$reset && $orphans" \
    -n "korvel undo" "$undo"

  # The last undo must have given the pristine tree back (every entry with its kind and mode, every file
  # with its bytes), and taken everything out of KEEP.
  if diff -r "$pristine" "$site" >/dev/null && [ -z "$(ls -A "$keep")" ] &&
     [ "$(cd "$pristine" && find . -printf '%p %y %m\n' | sort)" = "$(cd "$site" && find . -printf '%p %y %m\n' | sort)" ]; then
    echo "undo: $c is byte for byte and mode for mode as before"
  else
    echo "undo: $c DIFFERS from the pristine copy" >&2
    exit 1
  fi
  rm -rf "$pristine" "$site" "$keep" "$copies"
done
