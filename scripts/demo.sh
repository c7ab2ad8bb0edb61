#!/bin/sh
# make demo: packs a real tree of this machine (/usr/share/doc; a copy of it when not root, so that its owners can be
# restored), restores it with fcl-restore into a scratch directory, and compares the two trees with rsync (everything
# a tree holds) and fcl-holes (where files hold data and holes). Exits 0 when the trees are equal, 1 when they differ,
# 2 when the demo could not run. Installs nothing: make's deps step does.
set -eu

BUILD=${1:-build}
TREE=${FCL_DEMO_TREE:-/usr/share/doc}
PACK=$BUILD/tools/fcl-pack/fcl-pack
RESTORE=$BUILD/tools/fcl-restore/fcl-restore
HOLES=$BUILD/tools/fcl-holes/fcl-holes

for tool in "$PACK" "$RESTORE" "$HOLES"; do
    if [ ! -x "$tool" ]; then
        echo "demo: $tool is missing: build first (make build)" >&2
        exit 2
    fi
done
if [ ! -d "$TREE" ]; then
    echo "demo: $TREE is not a directory" >&2
    exit 2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/fcl-demo.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
trap 'exit 130' INT TERM

SOURCE=$TREE
if [ "$(id -u)" -ne 0 ]; then
    echo "Not root: restoring a copy of $TREE, owned by you, so that its owners can be restored."
    cp -a "$TREE" "$WORK/tree"
    SOURCE=$WORK/tree
fi
SOURCE=$(realpath "$SOURCE")
COPY=$WORK/dest$SOURCE

echo "Packing $SOURCE ..."
"$PACK" "$SOURCE" "$WORK/media"

echo "Restoring into $WORK/dest ..."
# The results directory is fcl-restore's default, under the user's state directory: it outlives the demo.
status=0
"$RESTORE" "$WORK/media" "$WORK/dest" || status=$?

echo "Comparing $SOURCE with $COPY ..."
rsync -n -a -c -H -A -X --numeric-ids --itemize-changes --delete "$SOURCE/" "$COPY/" >"$WORK/rsync.out" 2>&1 || true
holes=0
"$HOLES" "$SOURCE" "$COPY" >"$WORK/holes.out" 2>&1 || holes=$?

differ=0
if [ -s "$WORK/rsync.out" ]; then
    differ=1
    echo "rsync sees $(wc -l <"$WORK/rsync.out") difference(s):"
    head -n 20 "$WORK/rsync.out"
fi
if [ "$holes" -ne 0 ]; then
    differ=1
    echo "Data and holes differ:"
    head -n 20 "$WORK/holes.out"
fi

if [ "$differ" -eq 0 ] && [ "$status" -eq 0 ]; then
    echo "Verdict: the restored tree equals $SOURCE (contents, holes, modes, owners, times, links, ACLs, xattrs)."
    exit 0
fi
echo "Verdict: the restored tree differs from $SOURCE (fcl-restore exited $status)."
exit 1
