# Shared by the fault scripts (sourced): a fresh work directory with its own home and state directory, the
# sample site's copy, the jobs as these scripts run them, and a snapshot of a tree to compare.
# Needs: bash, coreutils, findutils, diff, strace.

korvel_bin=$1
sample_site=$2

for tool in strace sha256sum find diff; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh installs it)" >&2; exit 2; }
done
[ -x "$korvel_bin" ] || { echo "not a program: $korvel_bin" >&2; exit 2; }
[ -d "$sample_site" ] || { echo "not a directory: $sample_site" >&2; exit 2; }

# In memory where there is room: the jobs flush their journal often, and a flush to a disk costs far more
# than the rest of a case.
base=${KORVEL_FAULTS_TMPDIR:-/dev/shm}
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/korvel-faults.XXXXXX")
cleanup() {
    # A job killed halfway may leave a directory without its write bit.
    chmod -R u+rwX "$work" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home
export XDG_STATE_HOME=$work/state
export XDG_CONFIG_HOME=$work/config
export XDG_DATA_HOME=$work/data
export KORVEL_SETTINGS=$work/korvel.ini
# One thread: the same run makes the same system calls in the same order, so a kill point found by
# counting is met again.
export KORVEL_THREADS=1
# LeakSanitizer stops the world by tracing the process, which it cannot do under strace.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
mkdir -p "$HOME" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

site=$work/site
keep=$work/keep
pristine=$work/pristine
cp -a "$sample_site" "$pristine"

# A new copy of the sample site, an empty KEEP, and no undo journal.
fresh_site() {
    chmod -R u+rwX "$site" "$keep" 2>/dev/null
    rm -rf "$site" "$keep" "$XDG_STATE_HOME"
    mkdir -p "$keep" "$XDG_STATE_HOME"
    cp -a "$pristine" "$site"
}

# The jobs, with every change the sample site allows: names renamed for DOS, links rewritten, line ends
# converted; the orphans moved to KEEP.
fix_args=(fix "$site" --target dos --case lower --line-ends dos --server www.example.com --read-only convert
          --yes --report "$work/fix.txt")
orphans_args=(orphans "$site" --move-to "$keep" --server www.example.com --yes --report "$work/orphans.txt")
undo_args=(undo "$site" --report "$work/undo.txt")

# Each directory and every entry below it, one line each: path (from the directory's name), type, mode,
# owner and link count; for files and links also the modification time (ns) and the size or the link's
# target; then a sha256 of each file's bytes. A directory's size and time are left out: its size on disk
# keeps the space its entries once took, and its time is that of the last entry added or removed, which no
# undo can give back. The page of external links that every check writes into the top directory is not
# one of the changes a job undoes.
snapshot() {
    local dir name
    for dir; do
        name=$(basename "$dir")
        local -a skip=(-path "$name/report_of_external_refs.html" -prune -o)
        (cd "$dir/.." && find "$name" "${skip[@]}" \( -type d -printf '%p\t%y\t%m\t%U:%G\t%n\n' \) -o \
                                   \( -type l -printf '%p\t%y\t%m\t%U:%G\t%n\t%T@\t%l\n' \) -o \
                                   \( -printf '%p\t%y\t%m\t%U:%G\t%n\t%T@\t%s\n' \) | LC_ALL=C sort)
        (cd "$dir/.." && find "$name" "${skip[@]}" -type f -exec sha256sum {} + | LC_ALL=C sort -k2)
    done
}

# The entries that differ between two snapshots: each changed or missing entry of the first as "-" and
# its state in the second as "+", then the count of entries only the second has (and a few of them).
compare_snapshots() {
    awk -F'\t' '
        function key(line) { return index(line, "\t") ? $1 : "sha256 " substr(line, index(line, "  ") + 2) }
        NR == FNR { k = key($0); before[k] = $0; order[++n] = k; next }
        { after[key($0)] = $0 }
        END {
            for (i = 1; i <= n; ++i) {
                k = order[i]
                if (!(k in after)) print "- " before[k] "   (gone)"
                else if (after[k] != before[k]) print "- " before[k] "\n+ " after[k]
            }
            extra = 0
            for (k in after)
                if (!(k in before) && index(after[k], "\t") && ++extra <= 3) shown = shown "\n  " after[k]
            if (extra) print extra " entries that were not there, among them:" shown
        }' "$1" "$2"
}
