#!/usr/bin/env bash
# Whole-process benchmark of the check job on the real corpora: korvel check with every report on and the
# report written to a file, side by side with the floor of reading every byte once and with tidy's error
# check over the same pages; on py also with linkchecker's check of local links only. Prints the peak
# resident memory of the check, the jdk/py time ratio next to the jdk/py ratio of HTML bytes, and a summary.
#
# Usage: bench/check.sh [CORPORA_DIR]            the timings (hyperfine; markdown and JSON into build/bench)
#        bench/check.sh compare [CORPORA_DIR]    broken local links found by korvel and by linkchecker on py
#                                                and stdcxx, normalised to "page -> target" and compared
# Needs the release preset built, hyperfine, GNU time, tidy, linkchecker and python3 (linkchecker's own).
# Environment: BASELINE (another korvel binary, such as a release build of an earlier commit: timed beside
# this one in the same hyperfine run, and the ratio of the medians printed), RUNS (default 10), WARMUP (2), LC_RUNS (linkchecker's runs on py, 3: one takes about a minute;
# 0 leaves it out), CORPORA (default "py stdcxx jdk"). The ratios use medians: a single slow run
# (a cache refill, another process) moves a mean of ten runs of a quarter second by several percent.
#
# Every tool works on a copy of each corpus in a world-readable temporary directory: korvel check leaves
# report_of_external_refs.html in the top directory (the korvel command removes it after each run, so the
# other tools always see the original tree), and linkchecker, started as root, drops to user nobody.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=time
if [ "${1:-}" = compare ]; then mode=compare; shift; fi
corpora=${1:-${KORVEL_CORPORA:-$HOME/.cache/korvel-corpora}}
[ -d "$corpora/jdk" ] || bash ../shared/corpora/fetch.sh "$corpora"
korvel=$PWD/build/release/src/cli/korvel
[ -x "$korvel" ] || { echo "bench/check.sh: build the release preset first" >&2; exit 1; }
for tool in hyperfine tidy linkchecker python3; do
  command -v "$tool" >/dev/null || { echo "bench/check.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
out=${BENCH_OUT:-build/bench}
mkdir -p "$out"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
settings=$work/korvel.ini   # no such file: the defaults, whatever the user stored
extref=report_of_external_refs.html
lc_ignore='^(https?|ftp|mailto|news|irc):'   # linkchecker: local (file:) links only

copy_corpus() {   # copy_corpus NAME: a pristine copy under $work, readable by user nobody
  cp -a "$corpora/$1" "$work/$1"
  rm -f "$work/$1/$extref"   # left by an earlier check run on the shared tree: not part of the corpus
  chmod -R a+rX "$work/$1"
  # The copy is written back to disk now, not while the tools run: that write-back is no tool's work.
  sync
}

if [ "$mode" = compare ]; then
  # The broken local links of each tool as sorted "page<TAB>target" lines, paths relative to the top
  # directory: korvel's link as written, resolved against its page; linkchecker's resolved URL (without
  # the fragment). linkchecker reports each broken URL once, on the first page it met it on, so the two
  # are compared by distinct target; the targets only one tool reports are printed.
  for c in py stdcxx; do
    copy_corpus "$c"
    dir=$work/$c
    "$korvel" --settings "$settings" check "$dir" --server localhost --report-broken \
      --no-report-orphans --no-report-external --no-report-times --report "$work/k-$c.txt" >/dev/null || true
    linkchecker --no-warnings --no-status -o csv --ignore-url="$lc_ignore" "file://$dir/index.html" \
      >"$work/lc-$c.csv" 2>/dev/null || true
    python3 - "$dir" "$work/k-$c.txt" "$work/lc-$c.csv" "$out/broken-$c" <<'EOF'
import csv, posixpath, sys, urllib.parse
top, report, lc, dest = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
def rel(p):   # a path below the top directory relative to it, anything else as it is
    return p[len(top) + 1:] if p.startswith(top + "/") else p
def resolve(page, target):   # a target as written in a page, resolved the way a browser would
    if "://" in target or target.startswith("mailto:"): return target
    if target.startswith("/"): return target.lstrip("/")
    return posixpath.normpath(posixpath.join(posixpath.dirname(page), target))
# korvel: the "UNRESOLVED LOCAL LINKS:" section, one "line N: target" per link under its page
k, page, on = set(), None, False
for line in open(report, encoding="utf-8", errors="replace"):
    line = line.rstrip("\n")
    if line.startswith("UNRESOLVED LOCAL LINKS:"): on = True; continue
    if not on: continue
    if line.startswith("-----") and page is not None: break
    if line.startswith('In file "'): page = rel(line[9:-1]); continue
    if line.strip().startswith("line ") and page is not None:
        k.add((page, resolve(page, line.split(": ", 1)[1])))
# linkchecker: the invalid rows of its CSV log; the URL field is the resolved URL without the fragment
l = set()
rows = list(csv.reader((x for x in open(lc, encoding="utf-8", errors="replace") if not x.startswith("#")), delimiter=";"))
for r in rows[1:]:
    d = dict(zip(rows[0], r))
    if d.get("valid") != "False": continue
    parent = rel(urllib.parse.unquote(d["parentname"].removeprefix("file://")))
    url = d["url"]
    target = rel(urllib.parse.unquote(url.removeprefix("file://"))) if url.startswith("file://") else url
    l.add((parent, target))
for name, s in (("korvel", k), ("linkchecker", l)):
    with open(f"{dest}-{name}.tsv", "w") as f:
        for p, t in sorted(s): f.write(f"{p}\t{t}\n")
kt, lt = {t for _, t in k}, {t for _, t in l}
print(f"== {posixpath.basename(top)}")
print(f"korvel: {len(k)} (page, target) pairs on {len({p for p, _ in k})} pages, {len(kt)} distinct targets")
print(f"linkchecker: {len(l)} (page, target) pairs on {len({p for p, _ in l})} pages, {len(lt)} distinct targets"
      " (it reports a broken URL once, not once per page)")
print(f"targets both report: {len(kt & lt)}")
for name, only in (("only korvel", kt - lt), ("only linkchecker", lt - kt)):
    print(f"targets {name} reports: {len(only)}")
    for t in sorted(only)[:10]: print(f"    {t}")
print(f"lists: {dest}-korvel.tsv and {dest}-linkchecker.tsv")
EOF
    rm -rf "${work:?}/$c"
  done
  exit 0
fi

runs=${RUNS:-10}; warmup=${WARMUP:-2}; lc_runs=${LC_RUNS:-3}
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(free -g | awk '/Mem:/{print $2}') GiB, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "korvel $(git describe --always --dirty 2>/dev/null || echo '?'), $(tidy -v), $(linkchecker --version 2>/dev/null | head -1)"
median() { python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(r[int(sys.argv[2])]["median"])' "$@"; }
declare -A check_s html_bytes
for c in ${CORPORA:-py stdcxx jdk}; do
  copy_corpus "$c"
  dir=$work/$c
  # The pages: every .html file of the original tree, listed once before korvel runs.
  find "$dir" -type f -name '*.html' -print0 >"$work/pages-$c"
  html_bytes[$c]=$(xargs -0 stat -c %s <"$work/pages-$c" | awk '{s+=$1} END {print s}')
  printf '\n== %s: %s files, %s directories, %s; %s pages, %s bytes of HTML\n' "$c" "$(find "$dir" -type f | wc -l)" \
    "$(find "$dir" -type d | wc -l)" "$(du -sh "$dir" | cut -f1)" "$(tr -cd '\0' <"$work/pages-$c" | wc -c)" "${html_bytes[$c]}"
  kv="$korvel --settings $settings check $dir --server localhost --report-broken --report-orphans --report-external --report-times --report $work/report-$c.txt >/dev/null; rm -f $dir/$extref"
  hyperfine --style basic --warmup "$warmup" --runs "$runs" -i --prepare sync \
    --export-markdown "$out/check-$c.md" --export-json "$out/check-$c.json" \
    -n "korvel check (all reports, to a file)" "$kv" \
    -n "cat every byte" "find $dir -type f -print0 | xargs -0 cat >/dev/null" \
    -n "tidy -q -e over every page" "xargs -0 tidy -q -e <$work/pages-$c >/dev/null 2>&1" \
    ${BASELINE:+-n "baseline korvel check (all reports, to a file)" "${kv/#$korvel/$BASELINE}"}
  check_s[$c]=$(median "$out/check-$c.json" 0)
  if [ -n "${BASELINE:-}" ]; then
    awk -v k="${check_s[$c]}" -v b="$(median "$out/check-$c.json" 3)" \
      'BEGIN {printf "median check / baseline check: %.3f\n", k / b}'
  fi
  cat_s=$(median "$out/check-$c.json" 1); tidy_s=$(median "$out/check-$c.json" 2)
  /usr/bin/time -f "peak resident memory of korvel check: %M KiB" "$korvel" --settings "$settings" check "$dir" \
    --server localhost --report-broken --report-orphans --report-external --report-times --report "$work/report-$c.txt" >/dev/null || true
  rm -f "$dir/$extref"
  awk -v k="${check_s[$c]}" -v f="$cat_s" -v t="$tidy_s" \
    'BEGIN {printf "median check / cat floor: %.2f (target <= 10); tidy / check: %.1f (target >= 8)\n", k / f, t / k}'
  if [ "$c" = py ] && [ "$lc_runs" -gt 0 ]; then
    # linkchecker takes about a minute a run: fewer runs, in a run of its own with the check beside it.
    hyperfine --style basic --warmup 0 --runs "$lc_runs" -i \
      --export-markdown "$out/check-$c-linkchecker.md" --export-json "$out/check-$c-linkchecker.json" \
      -n "korvel check (all reports, to a file)" "$kv" \
      -n "linkchecker, local links only" \
         "linkchecker --no-warnings --no-status --ignore-url='$lc_ignore' file://$dir/index.html >/dev/null 2>&1"
    awk -v k="$(median "$out/check-$c-linkchecker.json" 0)" -v l="$(median "$out/check-$c-linkchecker.json" 1)" \
      'BEGIN {printf "linkchecker / check: %.0f (target >= 200)\n", l / k}'
  fi
  rm -rf "${work:?}/$c"
done
[ -n "${check_s[py]:-}" ] && [ -n "${check_s[jdk]:-}" ] || exit 0
# Before each timed run the page cache is written back (hyperfine --prepare sync), so that no run pays
# for the report the run before it wrote. The linearity compares two runs of korvel itself. The speed of a shared virtual machine drifts over the
# minutes between the py and the jdk measurements above, so the ratio is taken from runs that alternate
# between the two corpora (after the warm-up rounds), which see the same conditions.
printf '\n== linearity: korvel check on py and jdk, alternating, %s runs each (medians)\n' "$runs"
copy_corpus py
copy_corpus jdk
TIMEFORMAT=%R
for round in $(seq $((warmup + runs))); do
  for c in py jdk; do
    s=$( { time "$korvel" --settings "$settings" check "$work/$c" --server localhost --report-broken --report-orphans \
      --report-external --report-times --report "$work/report-$c.txt" >/dev/null 2>&1 || true; } 2>&1 )
    rm -f "$work/$c/$extref"
    sync   # what this run wrote is not the next one's work
    if [ "$round" -gt "$warmup" ]; then echo "$c $s" >>"$work/alternating"; fi
  done
done
python3 - "$work/alternating" "${html_bytes[jdk]}" "${html_bytes[py]}" <<'EOF'
import statistics, sys
times = {}
for line in open(sys.argv[1]):
    corpus, seconds = line.split()
    times.setdefault(corpus, []).append(float(seconds))
py, jdk = statistics.median(times["py"]), statistics.median(times["jdk"])
bytes_ratio = int(sys.argv[2]) / int(sys.argv[3])
print(f"py {py:.3f} s, jdk {jdk:.3f} s: jdk time / py time {jdk / py:.2f}; jdk HTML bytes / py HTML bytes: "
      f"{bytes_ratio:.2f}; time ratio / byte ratio: {jdk / py / bytes_ratio:.2f} (target <= 1.2)")
EOF
