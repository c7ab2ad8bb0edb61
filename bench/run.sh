#!/bin/sh
# make bench: each data set is made once, packed once with fcl-pack and tarred once, then restored side by side by
# fcl-restore, by GNU tar -x and by cp -a, on the same file system, each timed with its sync (warm cache; the median of
# FCL_BENCH_RUNS runs, 5 by default). Prints each tool's time, the ratios of fcl-restore's time to tar's and to cp's
# (below 1: fcl-restore is faster), fcl-restore's peak memory, and whether fcl-restore's copy matches the source; then
# the time of a job of one small file.
#
# ARCHIVES="1 2 4" before data-set lines packs each of those sets once per count (fcl-pack --archives N) and prints a
# row per count, named NAME/Na beyond one, each with its own tar -x and cp -a times measured beside it, so that every
# ratio compares runs made in the same moments.
#
# Side by side: the tools of a round run one right after the other, so each round also gives fcl-restore's time over
# tar's and over cp's as measured in the same moments; the "pairs" columns are the medians of those ratios, which
# the machine's drift from round to round weighs on far less than on the ratio of two medians.
#
# FCL_BENCH_QUICK=1 runs smaller sets once each, for a check that the bench works. FCL_BENCH_SETS="NAME ..." runs only
# the sets named (and the one-file job only when it names "single"). FCL_BENCH_ARCHIVES="1 ..." sets the archive
# counts of the small-file sets. A data set is one line at the end: bench_set NAME TAR_OPTIONS MAKER
# [MAKER_ARGUMENTS...]; the maker is called with the tree's directory first, then its arguments.
#
# Work space: $FCL_BENCH_DIR, else $TMPDIR, else /tmp. FCL_BENCH_TMPFS=DIR (a directory on a tmpfs, for instance
# after `mount -t tmpfs -o size=12g tmpfs /mnt/fclbench`) runs every set there as well, right after it ran in the
# work space: on a tmpfs the disk costs nothing, so those rows show the tools' own cost per item and per byte. Each
# row names its file system.
set -eu

BUILD=${1:-build}
PACK=$BUILD/tools/fcl-pack/fcl-pack
RESTORE=$BUILD/tools/fcl-restore/fcl-restore
HOLES=$BUILD/tools/fcl-holes/fcl-holes
LIMIT=${FCL_BENCH_TIMEOUT:-3600}
QUICK=${FCL_BENCH_QUICK:-0}
SETS=${FCL_BENCH_SETS:-}
if [ "$QUICK" = 1 ]; then
    RUNS=${FCL_BENCH_RUNS:-1}
    SETTLE=${FCL_BENCH_SETTLE:-0}
else
    RUNS=${FCL_BENCH_RUNS:-5}
    SETTLE=${FCL_BENCH_SETTLE:-61}
fi

for tool in "$PACK" "$RESTORE" "$HOLES"; do
    if [ ! -x "$tool" ]; then
        echo "bench: $tool is missing: build first (make build)" >&2
        exit 2
    fi
done
for tool in tar cp rsync perl /usr/bin/time; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "bench: $tool is missing" >&2
        exit 2
    fi
done

TMPFS=${FCL_BENCH_TMPFS:-}
if [ -n "$TMPFS" ] && [ "$(df --output=fstype "$TMPFS" 2>/dev/null | tail -n 1)" != tmpfs ]; then
    echo "bench: FCL_BENCH_TMPFS=$TMPFS is not a directory on a tmpfs" >&2
    exit 2
fi
DISK_BASE=$(mktemp -d "${FCL_BENCH_DIR:-${TMPDIR:-/tmp}}/fcl-bench.XXXXXX")
TMPFS_BASE=
if [ -n "$TMPFS" ]; then
    TMPFS_BASE=$(mktemp -d "$TMPFS/fcl-bench.XXXXXX")
fi
BASE=$DISK_BASE
fs=$(df --output=fstype "$BASE" | tail -n 1)
trap 'rm -rf "$DISK_BASE" ${TMPFS_BASE:+"$TMPFS_BASE"}' EXIT
trap 'exit 130' INT TERM

# ---- makers ---------------------------------------------------------------------------------------------------

# TREE SOURCE: a copy of a directory of this machine (a copy, so that a restore by a user who is not root can keep its owners).
copy_tree() {
    cp -a "$2" "$1"
}

# TREE FILES DIRS: FILES files of 0 to 16 KiB of random data in DIRS directories (two levels), always the same sizes.
make_small_files() {
    mkdir -p "$1"
    perl -e '
        my ($root, $files, $dirs) = @ARGV;
        my $top = int(sqrt($dirs)) || 1;
        srand(20000);
        open(my $random, "<", "/dev/urandom") or die "urandom: $!";
        my @dirs;
        for my $d (0 .. $dirs - 1) {
            my $path = sprintf("%s/t%03d/d%04d", $root, $d % $top, $d);
            mkdir(sprintf("%s/t%03d", $root, $d % $top));
            mkdir($path) or die "$path: $!";
            push @dirs, $path;
        }
        for my $i (0 .. $files - 1) {
            my $size = int(rand(16 * 1024 + 1));
            my $data = "";
            read($random, $data, $size) == $size or die "urandom: short read" if $size;
            my $name = sprintf("%s/f%05d", $dirs[$i % $dirs], $i);
            open(my $out, ">", $name) or die "$name: $!";
            print $out $data;
            close($out) or die "$name: $!";
        }' "$1" "$2" "$3"
}

# TREE MIB: one file of MIB mebibytes of random data.
make_big_file() {
    mkdir -p "$1"
    head -c "$(($2 * 1024 * 1024))" /dev/urandom >"$1/big"
}

# TREE MIB DATA_MIB: one sparse file of MIB mebibytes holding DATA_MIB mebibytes of random data in 1 MiB runs spread over it.
make_sparse_file() {
    mkdir -p "$1"
    truncate -s "$(($2))M" "$1/sparse"
    step=$(($2 / $3))
    i=0
    while [ "$i" -lt "$3" ]; do
        head -c 1048576 /dev/urandom | dd of="$1/sparse" bs=1M seek=$((i * step)) conv=notrunc status=none
        i=$((i + 1))
    done
}

# ---- measuring ------------------------------------------------------------------------------------------------

now_ns() {
    date +%s%N
}

# OUT NAME COMMAND...: one run of the command within the time limit into the fresh directory OUT, then sync; appends
# its time in ns to $BASE/NAME.times and its peak memory in KiB to $BASE/NAME.mem. False when it failed (its output
# is in $BASE/last.log).
time_once() {
    out=$1
    tool=$2
    shift 2
    rm -rf "$out"
    mkdir -p "$out"
    sync
    start=$(now_ns)
    if ! /usr/bin/time -f %M -o "$BASE/mem" timeout "$LIMIT" sh -c '"$@" && sync' sh "$@" >"$BASE/last.log" 2>&1; then
        return 1
    fi
    end=$(now_ns)
    echo $((end - start)) >>"$BASE/$tool.times"
    tail -n 1 "$BASE/mem" >>"$BASE/$tool.mem"
}

# A B: the median over the rounds of A's time over B's in the same round ("-" when either failed).
pair_ratio() {
    if [ -e "$BASE/$1.failed" ] || [ -e "$BASE/$2.failed" ] || [ ! -s "$BASE/$1.times" ]; then
        echo "-"
        return 0
    fi
    paste "$BASE/$1.times" "$BASE/$2.times" | awk '$2 > 0 { print $1 / $2 }' | sort -g |
        awk '{ r[NR] = $1 } END { if (NR == 0) { print "-"; exit } m = (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2; printf "%.2f", m }'
}

# NAME: sets $secs to the median of NAME's times in seconds (or "failed" when a run failed) and $peak to its largest
# peak memory in MiB.
median_of() {
    peak=$(sort -n "$BASE/$1.mem" 2>/dev/null | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }')
    secs=failed
    if [ -e "$BASE/$1.failed" ] || [ ! -s "$BASE/$1.times" ]; then
        return 0
    fi
    secs=$(sort -n "$BASE/$1.times" | awk '{ t[NR] = $1 } END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e9 }')
}

ratio() {
    case "$1$2" in
        *failed*) echo "-" ;;
        *) awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }' ;;
    esac
}

row() {
    printf '%-14s %-6s %8s %10s %10s %10s %8s %8s %9s %8s %8s %6s\n' "$@"
}

# Whether the copy under COPY equals SOURCE: everything rsync compares (contents by checksum), and data and holes.
same_tree() {
    if [ -n "$(rsync -n -a -c -H -A -X --numeric-ids --itemize-changes --delete "$1/" "$2/" 2>&1)" ]; then
        echo NO
    elif ! "$HOLES" "$1" "$2" >/dev/null 2>&1; then
        echo holes
    else
        echo yes
    fi
}

# Whether the set NAME is to run.
wanted() {
    case " ${SETS:-$1} " in
        *" $1 "*) return 0 ;;
        *) return 1 ;;
    esac
}

# TOOL RUN: one timed run of TOOL (fcl, tar or cp) for the row being measured, into $work/out.TOOL.RUN.
run_tool() {
    if [ -e "$BASE/$1.failed" ]; then
        return 0
    fi
    # shellcheck disable=SC2086
    case $1 in
        fcl) set -- fcl "$2" "$RESTORE" --results "$work/results.$2" "$media" "$work/out.fcl.$2" ;;
        tar) set -- tar "$2" tar -x $tar_options --acls --xattrs --xattrs-include='*' -f "$work/tree.tar" \
            -C "$work/out.tar.$2" ;;
        cp) set -- cp "$2" cp -a "$source" "$work/out.cp.$2/" ;;
    esac
    tool=$1
    copy=$work/out.$1.$2
    shift 2
    if ! time_once "$copy" "$tool" "$@"; then
        echo "bench: $tool failed on $label:" >&2
        tail -n 12 "$BASE/last.log" >&2
        : >"$BASE/$tool.failed"
    fi
}

# After many files were removed: some file systems (ext4 without a journal) pass over inodes freed in the last
# minute when they make new ones, which would slow whichever tool runs next. FCL_BENCH_SETTLE seconds (61 by
# default, 0 in quick runs) let that pass; a tmpfs needs none.
settle() {
    if [ "$SETTLE" -gt 0 ] && [ "$fs" != tmpfs ]; then
        sync
        sleep "$SETTLE"
    fi
}

# One row: fcl-restore over MEDIA, tar -x and cp -a of the same tree, in rounds of one run of each, the order turned
# by one each round, so that the state of the file system weighs on the three alike. With many items each run's copy
# is kept until the row ends, and the row waits for the file system to settle after removing them; on a tmpfs, which
# needs no settling and would not hold every copy of a large set in memory, each round's copies go at once.
bench_row() {
    label=$1
    media=$2
    tar_options=$3
    rm -f "$BASE"/fcl.* "$BASE"/tar.* "$BASE"/cp.*
    run=1
    while [ "$run" -le "$RUNS" ]; do
        case $((run % 3)) in
            1) order="fcl tar cp" ;;
            2) order="tar cp fcl" ;;
            0) order="cp fcl tar" ;;
        esac
        for tool in $order; do
            run_tool "$tool" "$run"
        done
        if [ "$items" -le 1000 ] || [ "$fs" = tmpfs ] || [ "$run" = "$RUNS" ]; then
            rm -rf "$work/out.tar.$run" "$work/out.cp.$run" "$work/results.$run"
            if [ "$run" != "$RUNS" ]; then
                rm -rf "$work/out.fcl.$run"
            fi
        fi
        run=$((run + 1))
    done
    same="-"
    if ! [ -e "$BASE/fcl.failed" ]; then
        same=$(same_tree "$source" "$work/out.fcl.$RUNS$source")
    fi
    median_of fcl
    fcl=$secs
    fcl_peak=$peak
    median_of tar
    tar=$secs
    median_of cp
    cp=$secs
    row "$label" "$fs" "$items" "$fcl" "$tar" "$cp" "$(ratio "$fcl" "$tar")" "$(ratio "$fcl" "$cp")" \
        "$(pair_ratio fcl tar)" "$(pair_ratio fcl cp)" "$fcl_peak" "$same"
    rm -rf "$work"/out.* "$work"/results.*
    if [ "$items" -gt 1000 ]; then
        settle
    fi
}

# The set in the work space, then on the tmpfs when one is given.
bench_set() {
    wanted "$1" || return 0
    for BASE in "$DISK_BASE" ${TMPFS_BASE:+"$TMPFS_BASE"}; do
        fs=$(df --output=fstype "$BASE" | tail -n 1)
        bench_set_here "$@"
    done
    BASE=$DISK_BASE
    fs=$(df --output=fstype "$BASE" | tail -n 1)
}

bench_set_here() {
    name=$1
    tar_options=$2
    maker=$3
    shift 3
    work=$BASE/$name
    mkdir -p "$work"
    "$maker" "$work/tree" "$@"
    source=$(realpath "$work/tree")
    items=$(find "$source" | wc -l)
    # shellcheck disable=SC2086
    tar -c $tar_options --acls --xattrs --xattrs-include='*' -f "$work/tree.tar" -C / "${source#/}"
    for count in $ARCHIVES; do
        label=$name
        if [ "$count" != 1 ]; then
            label=$name/${count}a
        fi
        "$PACK" --archives "$count" "$source" "$work/media$count" >/dev/null
        bench_row "$label" "$work/media$count" "$tar_options"
        rm -rf "${work:?}/media$count"
    done
    rm -rf "$work"
}

# The time of a whole job that restores one small file: the engine's fixed cost.
single_file_job() {
    wanted single || return 0
    work=$BASE/single
    mkdir -p "$work/tree"
    printf 'one small file\n' >"$work/tree/file"
    "$PACK" "$work/tree" "$work/media" >/dev/null
    rm -f "$BASE"/single.* "$BASE"/harness.*
    run=1
    while [ "$run" -le "$RUNS" ]; do
        if ! time_once "$work/out" single "$RESTORE" --results "$work/results" "$work/media" "$work/out"; then
            : >"$BASE/single.failed"
            break
        fi
        rm -rf "$work/results"
        # The same measure of a command that does nothing: what the timing itself costs (processes, sync).
        time_once "$work/out" harness true
        run=$((run + 1))
    done
    median_of harness
    harness=$secs
    median_of single
    if [ "$secs" = failed ]; then
        echo "Job of one file: failed" >&2
        tail -n 12 "$BASE/last.log" >&2
    else
        echo "Job of one file: $secs s (median of $RUNS), of which $harness s is the timing itself (a command that" \
            "does nothing, measured alike); peak memory $peak MiB"
    fi
    rm -rf "$work"
}

echo "Working in $DISK_BASE${TMPFS_BASE:+ and $TMPFS_BASE}; median of $RUNS run(s) each; times in seconds with sync;" \
    "pairs: median of the rounds' ratios; peak memory of fcl-restore in MiB"
echo "Machine: $(nproc) CPUs, $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo), $(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo), $(uname -sr)"
row "set" "fs" "items" "fcl s" "tar -x s" "cp -a s" "fcl/tar" "fcl/cp" "pairs/tar" "pairs/cp" "fcl MiB" "same"

# ---- data sets: one line each ---------------------------------------------------------------------------------
ARCHIVES=1
if [ "$QUICK" = 1 ]; then
    ARCHIVES=${FCL_BENCH_ARCHIVES:-1 2}
    bench_set small-2k "" make_small_files 2000 80
    ARCHIVES=1
    bench_set doc "" copy_tree /usr/share/doc
    bench_set big-64m "" make_big_file 64
    bench_set sparse-1g --sparse make_sparse_file 1024 8
else
    ARCHIVES=${FCL_BENCH_ARCHIVES:-1 2 4}
    bench_set small-20k "" make_small_files 20000 800
    bench_set small-100k "" make_small_files 100000 4000
    ARCHIVES=1
    bench_set doc "" copy_tree /usr/share/doc
    bench_set big-2g "" make_big_file 2048
    bench_set sparse-8g --sparse make_sparse_file 8192 8
fi
single_file_job
