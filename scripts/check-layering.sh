#!/bin/sh
# The libraries depend one way: clRestore/ -> platform/ -> protocol/. Within the engine, support/ is the floor and
# reads nothing of the other engine folders. Prints each include that goes the wrong way; fails if there is one.
set -u
cd "${1:-$(dirname "$0")/..}" || exit 2

bad=0
check() {  # check <folder> <forbidden include prefix>
    [ -d "$1" ] || return 0
    found=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+[\"<]$2" "$1" --include='*.h' --include='*.cpp' || true)
    if [ -n "$found" ]; then
        printf '%s must not include %s:\n%s\n' "$1/" "$2" "$found"
        bad=1
    fi
}

check protocol 'clRestore/'
check protocol 'platform/'
check platform 'clRestore/'
check clRestore/support 'clRestore/(engine|stream|factory|objects|options)/'

[ "$bad" -eq 0 ] && echo "includes go one way"
exit "$bad"
