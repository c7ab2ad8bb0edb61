#!/bin/sh
# Formats every C++ source with clang-format 14 and the repository's .clang-format; another version lays some
# constructs out differently, so only 14 is used. With --check nothing is changed: each difference is reported and
# the script fails if there is any.
set -eu
cd "$(dirname "$0")/.."

formatter=""
for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null 2>&1 && "$candidate" --version | grep -q 'version 14\.'; then
        formatter=$candidate
        break
    fi
done
if [ -z "$formatter" ]; then
    echo "clang-format 14 not found (package clang-format-14; scripts/deps.sh installs it)" >&2
    exit 1
fi

case "${1:-}" in
    --check) mode="--dry-run -Werror" ;;
    "") mode="-i" ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

# Folders that do not exist (yet) are skipped.
dirs=""
for d in clRestore platform protocol tools tests bench; do
    [ -d "$d" ] && dirs="$dirs $d"
done
[ -n "$dirs" ] || exit 0

# shellcheck disable=SC2086
if ! find $dirs \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 -r "$formatter" $mode; then
    echo "Some sources are not formatted: run 'make format'." >&2
    exit 1
fi
