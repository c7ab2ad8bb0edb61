#!/bin/sh
# make bench: each data set is made, packed once with fcl-pack and tarred once, then restored side by side in one
# run by fcl-restore and by GNU tar -x, on the same file system, each followed by sync. Prints both times and the
# ratio of fcl-restore's time to tar's (below 1: fcl-restore is faster), and whether fcl-restore's copy matches.
#
# A data set is one line at the end: bench_set NAME TAR_OPTIONS MAKER [MAKER_ARGUMENTS...]; the maker is called
# with the tree's directory first, then its arguments. Work space: $FCL_BENCH_DIR, else $TMPDIR, else /tmp.
set -eu

BUILD=${1:-build}
PACK=$BUILD/tools/fcl-pack/fcl-pack
RESTORE=$BUILD/tools/fcl-restore/fcl-restore
LIMIT=${FCL_BENCH_TIMEOUT:-3600}

for tool in "$PACK" "$RESTORE"; do
    if [ ! -x "$tool" ]; then
        echo "bench: $tool is missing: build first (make build)" >&2
        exit 2
    fi
done

BASE=$(mktemp -d "${FCL_BENCH_DIR:-${TMPDIR:-/tmp}}/fcl-bench.XXXXXX")
trap 'rm -rf "$BASE"' EXIT
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

now() {
    date +%s.%N
}

# Runs a command within the time limit, then sync; prints the seconds taken, or "failed".
timed() {
    start=$(now)
    if timeout "$LIMIT" "$@" >"$BASE/last.log" 2>&1; then
        sync
        awk -v a="$start" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'
    else
        echo failed
    fi
}

ratio() {
    case "$1$2" in
        *failed*) echo "-" ;;
        *) awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }' ;;
    esac
}

bench_set() {
    name=$1
    tar_options=$2
    maker=$3
    shift 3
    work=$BASE/$name
    mkdir -p "$work"
    "$maker" "$work/tree" "$@"
    source=$(realpath "$work/tree")
    items=$(find "$source" | wc -l)
    "$PACK" "$source" "$work/media" >/dev/null
    # shellcheck disable=SC2086
    tar -c $tar_options --acls --xattrs --xattrs-include='*' -f "$work/tree.tar" -C / "${source#/}"
    mkdir "$work/tar-out"
    sync

    fcl=$(timed "$RESTORE" --results "$work/results" "$work/media" "$work/fcl-out")
    if [ "$fcl" = failed ]; then
        echo "bench: fcl-restore failed on $name:" >&2
        tail -n 12 "$BASE/last.log" >&2
    fi
    # shellcheck disable=SC2086
    tar=$(timed tar -x $tar_options --acls --xattrs --xattrs-include='*' -f "$work/tree.tar" -C "$work/tar-out")

    same="-"
    if [ "$fcl" != failed ]; then
        same=yes
        if [ -n "$(rsync -n -a -H -A -X --numeric-ids --itemize-changes --delete "$source/" "$work/fcl-out$source/" 2>&1)" ]; then
            same=NO
        fi
    fi
    printf '%-12s %8s %14s %10s %8s %10s\n' "$name" "$items" "$fcl" "$tar" "$(ratio "$fcl" "$tar")" "$same"
    rm -rf "$work"
}

echo "Working in $BASE"
printf '%-12s %8s %14s %10s %8s %10s\n' "set" "items" "fcl-restore s" "tar -x s" "ratio" "same tree"

# ---- data sets: one line each ---------------------------------------------------------------------------------
bench_set doc "" copy_tree /usr/share/doc
bench_set small-20k "" make_small_files 20000 800
# bench_set small-50k "" make_small_files 50000 2000
# bench_set big-2g "" make_big_file 2048
# bench_set sparse-16g --sparse make_sparse_file 16384 256
