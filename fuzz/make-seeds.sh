#!/bin/sh
# The fuzz target's seed corpus: small trees packed by fcl-pack, one archive file each, so that the seeds always
# follow the archive format as the packer writes it.
#   make-seeds.sh FCL_PACK OUT_DIR
set -eu
pack=$1
out=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/fcl-seeds.XXXXXX")
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out"

seed() {
    name=$1
    "$pack" "$work/$name" "$work/media-$name" >/dev/null
    cp "$work/media-$name/1.afile" "$out/$name.afile"
}

mkdir -p "$work/plain/dir/deeper"
: >"$work/plain/empty"
printf 'x' >"$work/plain/one"
head -c 3000 /dev/urandom >"$work/plain/dir/some"
printf 'inner' >"$work/plain/dir/deeper/file"
ln -s ../one "$work/plain/dir/link"
chmod 0750 "$work/plain/dir"
chmod 04755 "$work/plain/one"
seed plain

mkdir -p "$work/holes"
printf 'start' >"$work/holes/middle"
truncate -s 40960 "$work/holes/middle"
printf 'end' >>"$work/holes/middle"
truncate -s 8192 "$work/holes/all-hole"
seed holes

mkdir -p "$work/links/a"
printf 'shared' >"$work/links/a/first"
ln "$work/links/a/first" "$work/links/second"
ln "$work/links/a/first" "$work/links/a/third"
ln -s a "$work/links/dirlink"
seed links

# ACLs and extended attributes travel in an optional header; a file system that keeps neither gives no seed.
mkdir -p "$work/attrs/dir"
printf 'attributes' >"$work/attrs/file"
if setfattr -n user.note -v value "$work/attrs/file" 2>/dev/null &&
    setfacl -m u:65534:rw "$work/attrs/file" 2>/dev/null &&
    setfacl -d -m u:65534:rx "$work/attrs/dir" 2>/dev/null; then
    seed attrs
fi
