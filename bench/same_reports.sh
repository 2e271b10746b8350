#!/usr/bin/env bash
# Whether this build writes the same reports as another, byte for byte once the dates are masked: the check
# (every report on) in text and JSON, the fix (iso9660 names, unix line ends) in text and JSON with the
# tree it leaves behind, and the undo of that fix, on the sample site and the real corpora. A refactoring
# that changes no behaviour must pass it.
# Usage: bench/same_reports.sh BASELINE_KORVEL [CORPORA_DIR]
# Environment: CORPORA (default "py stdcxx jdk"; the sample site always runs). Prints one line per
# comparison and exits 1 when any differs (the two outputs are kept under the work directory it names).
set -euo pipefail

baseline=${1:?"usage: bench/same_reports.sh BASELINE_KORVEL [CORPORA_DIR]"}
corpora=${2:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/same_reports.sh: build the release preset first" >&2; exit 1; }
extref=report_of_external_refs.html

work=$(mktemp -d /tmp/korvel-same.XXXXXX)
keep=0
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT
settings=$work/korvel.ini   # no such file: the defaults, whatever the user stored
export XDG_STATE_HOME=$work/state
all=(--report-broken --report-orphans --report-external --report-times)

mask() {  # the dates a report or a RENAME.LOG carries
  sed -E 's/[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}/DATE/g' "$@"
}

fresh() {  # a copy of corpus $1 at $work/site, the same path for both builds
  rm -rf "$work/site" "$work/state"
  cp -a "$2" "$work/site"
  rm -f "$work/site/$extref"
}

# run BUILD OUTDIR CORPUS_DIR HOME_PAGE: every job of the comparison, outputs under OUTDIR
run() {
  local k=$1 out=$2 src=$3 home=$4 site=$work/site
  mkdir -p "$out"
  fresh "$1" "$src"
  "$k" --settings "$settings" check "$site" --home "$site/$home" --server localhost "${all[@]}" \
    --report "$out/check.txt" >/dev/null 2>"$out/check.err" || true
  "$k" --settings "$settings" check "$site" --home "$site/$home" --server localhost "${all[@]}" \
    --format json --report "$out/check.json" >/dev/null 2>"$out/check-json.err" || true
  fresh "$1" "$src"
  "$k" --settings "$settings" fix "$site" --home "$site/$home" --server localhost --target iso9660 \
    --line-ends unix --yes --report "$out/fix.txt" >/dev/null 2>"$out/fix.err" || true
  (cd "$site" && find . -type f -print0 | sort -z | xargs -0 md5sum) >"$out/fix.tree"
  find "$site" -name RENAME.LOG -print0 | sort -z | xargs -0 -r cat | mask >"$out/fix.renamelogs"
  "$k" --settings "$settings" undo "$site" --report "$out/undo.txt" >/dev/null 2>"$out/undo.err" || true
  (cd "$site" && find . -type f ! -name RENAME.LOG -print0 | sort -z | xargs -0 md5sum) >"$out/undo.tree"
  fresh "$1" "$src"
  "$k" --settings "$settings" fix "$site" --home "$site/$home" --server localhost --target iso9660 \
    --line-ends unix --yes --format json --report "$out/fix.json" >/dev/null 2>"$out/fix-json.err" || true
  for f in "$out"/*.txt "$out"/*.json; do mask "$f" >"$f.masked" && mv "$f.masked" "$f"; done
}

status=0
sites=("sample:$PWD/examples/site")
for c in ${CORPORA:-py stdcxx jdk}; do
  [ -d "$corpora/$c" ] && sites+=("$c:$corpora/$c") || echo "no corpus $c under $corpora (fetch it first)" >&2
done
for entry in "${sites[@]}"; do
  name=${entry%%:*} src=${entry#*:}
  run "$korvel" "$work/$name/new" "$src" index.html
  run "$baseline" "$work/$name/old" "$src" index.html
  for f in check.txt check.json fix.txt fix.json fix.tree fix.renamelogs undo.txt undo.tree \
           check.err check-json.err fix.err fix-json.err undo.err; do
    if cmp -s "$work/$name/old/$f" "$work/$name/new/$f"; then
      printf '%-8s %-16s same (%s bytes)\n' "$name" "$f" "$(wc -c <"$work/$name/new/$f")"
    else
      printf '%-8s %-16s DIFFERENT: diff %s %s\n' "$name" "$f" "$work/$name/old/$f" "$work/$name/new/$f"
      status=1 keep=1
    fi
  done
done
exit $status
