#!/usr/bin/env bash
# Two jobs on one site at once: a fix is held halfway (stopped by strace at one of its renames), and a
# second fix, an orphans job and an undo are started on the same site in turn. Each must refuse at once
# with status 2 and change nothing: not the site, not KEEP, not the held job's undo journal. The held fix
# then goes on; it must end as a fix left alone ends, and its undo must give back the original tree.
#
#   two_jobs.sh KORVEL SAMPLE_SITE
# Exit status: 0 when all held, 1 when something did not (each listed), 2 when the setup failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"

failures=()
fail() { failures+=("$*"); }

# Names, types, modes and bytes, without the times a new run gives its rewritten files.
contents() {
    snapshot "$@" | awk -F'\t' -v OFS='\t' 'NF >= 6 && $2 != "d" { $6 = "" } { print }'
}

# What a fix left alone leaves.
fresh_site
snapshot "$site" "$keep" >"$work/original"
"$korvel_bin" "${fix_args[@]}" >/dev/null 2>&1
solo_status=$?
[ $solo_status -le 1 ] || { echo "a fix alone failed with status $solo_status" >&2; exit 2; }
contents "$site" "$keep" >"$work/solo"

# The held fix: stopped at its tenth rename of a site entry, when it has changed part of the site.
fresh_site
strace -f -qq -o "$work/held.trace" -e trace=renameat2 -e signal=SIGSTOP \
    -e inject=renameat2:signal=STOP:when=10 "$korvel_bin" "${fix_args[@]}" >/dev/null 2>&1 &
tracer=$!
# strace notes the stop in its log ("PID --- stopped by SIGSTOP ---").
held=
while [ -z "$held" ] && kill -0 $tracer 2>/dev/null; do
    held=$(awk '/--- stopped by SIGSTOP ---/ { print $1; exit }' "$work/held.trace" 2>/dev/null)
    [ -n "$held" ] || sleep 0.05
done
if [ -z "$held" ]; then
    echo "the first fix could not be held: it ended before its tenth rename" >&2
    wait $tracer
    exit 2
fi

snapshot "$site" "$keep" "$XDG_STATE_HOME" >"$work/held"
for second in fix orphans undo; do
    case $second in
        fix) args=("${fix_args[@]}") ;;
        orphans) args=("${orphans_args[@]}") ;;
        undo) args=("${undo_args[@]}") ;;
    esac
    # A job that waits for the held one would wait for ever: it is stopped after a while and counts as
    # not refused.
    timeout 120 "$korvel_bin" "${args[@]}" >/dev/null 2>"$work/second.err"
    status=$?
    if [ $status -eq 124 ]; then
        fail "a second $second did not refuse: it was still running after 120 s"
    elif [ $status -ne 2 ]; then
        fail "a second $second ended with status $status, not 2 (a refusal)"
    elif ! [ -s "$work/second.err" ]; then
        fail "a second $second refused without a word on standard error"
    fi
    snapshot "$site" "$keep" "$XDG_STATE_HOME" >"$work/after-second"
    if ! cmp -s "$work/held" "$work/after-second"; then
        fail "a second $second changed the site, KEEP or the held job's journal (- before, + after):"
        while IFS= read -r line; do
            fail "    $line"
        done < <(compare_snapshots "$work/held" "$work/after-second" | sed "s|$work/||g" | head -n 12)
        # Later jobs are judged against what this one left.
        cp "$work/after-second" "$work/held"
    fi
done

kill -CONT "$held"
wait $tracer
first_status=$?
[ $first_status -eq $solo_status ] ||
    fail "the held fix ended with status $first_status; alone it ends with $solo_status"
contents "$site" "$keep" >"$work/first"
cmp -s "$work/solo" "$work/first" ||
    fail "the held fix left another tree than a fix left alone ($(diff "$work/solo" "$work/first" | grep -c '^[<>]') lines differ)"

"$korvel_bin" "${undo_args[@]}" >/dev/null 2>&1
undo_status=$?
[ $undo_status -eq 0 ] || fail "the undo of the held fix ended with status $undo_status"
snapshot "$site" "$keep" >"$work/undone"
if ! cmp -s "$work/original" "$work/undone"; then
    fail "after the undo of the held fix the tree differs from the original:"
    while IFS= read -r line; do
        fail "    $line"
    done < <(compare_snapshots "$work/original" "$work/undone" | sed "s|$work/||g" | head -n 12)
fi

if [ ${#failures[@]} -gt 0 ]; then
    printf '%s\n' "${failures[@]}"
    echo "FAILED"
    exit 1
fi
echo "the second fix, orphans and undo each refused; the first fix completed and was undone exactly"
