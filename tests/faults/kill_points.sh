#!/usr/bin/env bash
# Kills a job at each of its changes to the disk and checks that "korvel undo" then gives back the tree
# exactly as it was: every name, type, mode, owner, size, byte, link count and modification time.
#
#   kill_points.sh KORVEL SAMPLE_SITE [fix|orphans|undo]...      (all three when none is named)
#
# Jobs: "fix" (renames for DOS, lower case, link rewriting, DOS line ends), "orphans" (moved to KEEP),
# and "undo" (of a whole fix; the killed undo is followed by a second one).
#
# A kill point is the Nth call of one system call, found by running the job once under strace. The calls
# are those that change the disk or order its changes: every write (the journal's entries and copies,
# the rewritten pages), renames, links and unlinks, directories made and removed, modes, owners and times
# set, and the flushes. Between two of them a job changes the disk only by creating files with open(), so
# killing at each of them reaches every state a crash can leave but the instant before such a creation.
#
# KORVEL_KILL_STEP=k tries every kth point, and always the first and last few and the first call of each
# syscall with the point before it; 1 tries them all. By default the step keeps each job to about
# KORVEL_KILL_CASES (25) stepped points.
# Exit status: 0 when every case passed, 1 when one failed (each listed), 2 when the setup failed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
shift 2
jobs=("$@")
[ ${#jobs[@]} -gt 0 ] || jobs=(fix orphans undo)

syscalls=write,pwrite64,writev,rename,renameat,renameat2,link,linkat,symlink,symlinkat,unlink,unlinkat
syscalls+=,mkdir,mkdirat,rmdir,utimensat,chmod,fchmod,fchmodat,chown,fchown,fchownat,lchown,truncate
syscalls+=,ftruncate,fallocate,copy_file_range,sendfile,fsync,fdatasync,syncfs,sync
edge=3  # points always tried at each end

failures=0
cases=0

job_args() {
    case $1 in
        fix) printf '%s\n' "${fix_args[@]}" ;;
        orphans) printf '%s\n' "${orphans_args[@]}" ;;
        undo) printf '%s\n' "${undo_args[@]}" ;;
    esac
}

# Brings the site to where the job starts: the sample site, and for the undo a whole fix of it.
prepare() {
    fresh_site
    rm -f "$work"/*.txt
    if [ "$1" = undo ]; then
        "$korvel_bin" "${fix_args[@]}" >/dev/null 2>&1
        local status=$?
        [ $status -le 1 ] || { echo "the fix before the undo failed with status $status" >&2; exit 2; }
    fi
}

# The kill points of one run of the job, in the order they come: "SYSCALL N" per line, N counted per
# syscall and process (as strace counts for its injection).
count_points() {
    local job=$1
    local -a args
    mapfile -t args < <(job_args "$job")
    prepare "$job"
    strace -f -qq -o "$work/trace" -e trace="$syscalls" -e signal=none "$korvel_bin" "${args[@]}" \
        >/dev/null 2>&1
    # "PID name(args) = result": a call that another thread interrupted shows as "<unfinished ...>"
    # and later "<... name resumed>"; only its first line counts.
    awk '$2 !~ /^<\.\.\./ {
            name = $2; sub(/\(.*/, "", name)
            n = ++seen[$1 " " name]
            print name, n
         }' "$work/trace"
}

# The errors section of a report, without its empty lines.
errors_of() {
    [ -f "$1" ] || return 0
    awk '/^THE FOLLOWING ERRORS WERE ENCOUNTERED/ { on = 1; getline; next }
         on && /^-----/ { exit }
         on && NF { sub(/^\t/, "  "); print }' "$1"
}

# Runs one case; prints nothing when it passes, else what went wrong.
run_case() {
    local job=$1 syscall=$2 n=$3
    local -a args
    mapfile -t args < <(job_args "$job")
    prepare "$job"
    strace -f -qq -o /dev/null -e trace="$syscall" -e signal=none \
        -e inject="$syscall":signal=KILL:when="$n" "$korvel_bin" "${args[@]}" >/dev/null 2>&1
    local killed=$?
    local -a problems=()
    [ $killed -eq 137 ] || problems+=("the kill point was not reached (status $killed)")
    # Whether the tree differs from the original after the kill.
    local changed=yes
    snapshot "$site" "$keep" >"$work/after-kill"
    cmp -s "$work/original" "$work/after-kill" && changed=no

    "$korvel_bin" "${undo_args[@]}" >/dev/null 2>"$work/undo.err"
    local undo_status=$?
    # A tree that is the original already (a job killed before its first change, an undo after its last)
    # may leave nothing to undo: that undo says so with status 1.
    local nothing=no
    if [ $undo_status -eq 1 ] && [ $changed = no ] &&
        grep -q 'Can not undo last directory operation' "$work/undo.err"; then
        nothing=yes
    elif [ $undo_status -ne 0 ]; then
        problems+=("the last undo ended with status $undo_status")
        local error
        while IFS= read -r error; do
            problems+=("  $error")
        done < <(errors_of "$work/undo.txt" | sed "s|$work/||g" | head -n 8)
    fi
    [ $nothing = no ] && [ -s "$work/undo.err" ] && problems+=("standard error: $(head -c 300 "$work/undo.err")")
    snapshot "$site" "$keep" >"$work/after-undo"
    if ! cmp -s "$work/original" "$work/after-undo"; then
        problems+=("the tree differs from the original (- original, + after the undo):")
        local line
        while IFS= read -r line; do
            problems+=("  $line")
        done < <(compare_snapshots "$work/original" "$work/after-undo" | head -n 16)
    fi
    [ ${#problems[@]} -eq 0 ] || printf '%s\n' "${problems[@]}"
}

fresh_site
snapshot "$site" "$keep" >"$work/original"

for job in "${jobs[@]}"; do
    case $job in fix | orphans | undo) ;; *) echo "unknown job: $job" >&2; exit 2 ;; esac
    mapfile -t points < <(count_points "$job")
    total=${#points[@]}
    [ "$total" -gt 0 ] || { echo "$job: no kill points found (is strace working?)" >&2; exit 2; }
    step=${KORVEL_KILL_STEP:-$(((total + ${KORVEL_KILL_CASES:-25} - 1) / ${KORVEL_KILL_CASES:-25}))}
    [ "$step" -ge 1 ] 2>/dev/null || { echo "KORVEL_KILL_STEP must be a positive number" >&2; exit 2; }
    # Besides every step-th point: the first and last few, and the first call of each syscall with the
    # point before it, where the job passes from one kind of change to the next.
    declare -A always=()
    for ((i = 0; i < total; ++i)); do
        if [[ ${points[i]} == *" 1" ]]; then
            always[$i]=1
            ((i > 0)) && always[$((i - 1))]=1
        fi
    done
    tried=0
    failed=0
    for ((i = 0; i < total; ++i)); do
        ((i < edge || i >= total - edge || i % step == 0)) || [ -n "${always[$i]:-}" ] || continue
        read -r syscall n <<<"${points[i]}"
        ((++tried, ++cases))
        result=$(run_case "$job" "$syscall" "$n")
        if [ -n "$result" ]; then
            ((++failed, ++failures))
            echo "$job killed at point $((i + 1)) of $total: $syscall call $n"
            sed 's/^/    /' <<<"$result"
        fi
    done
    echo "$job: $total kill points, $tried tried (step $step), $failed failed"
done

if [ $failures -gt 0 ]; then
    echo "FAILED: $failures of $cases cases"
    exit 1
fi
echo "$cases cases passed"
