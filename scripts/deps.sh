#!/bin/sh
# Installs what a fresh Debian machine lacks for building, testing and running the project; `--demo` first: only what
# `make demo` needs (the library, the tools, and rsync to compare the trees). Further arguments are more packages.
# Only missing packages are installed; without root, names them and fails.
set -eu
PACKAGES="cmake g++ make libboost-dev libboost-program-options-dev libacl1-dev zlib1g-dev rsync"
if [ "${1:-}" = "--demo" ]; then
    shift
else
    # The tests: GoogleTest, getfacl and getfattr as oracles, and clang-format pinned to 14 (`make format` and
    # `make format-check` use that version only, scripts/format.sh).
    PACKAGES="$PACKAGES libgtest-dev libgmock-dev acl attr clang-format-14"
fi
[ "$#" -gt 0 ] && PACKAGES="$PACKAGES $*"

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Install them as root: apt-get install -y$missing" >&2
    exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
if ! apt-get install -y $missing; then
    apt-get update && apt-get install -y $missing || {
        echo "Could not install:$missing" >&2
        exit 1
    }
fi
