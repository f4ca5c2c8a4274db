#!/bin/sh
# Fails when a C++ source differs from what .clang-format makes of it, and
# names the files. Fix them with: clang-format -i FILE...
set -eu
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null 2>&1; then
    echo "clang-format is not installed (make deps installs it)" >&2
    exit 1
fi
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
status=0
for f in $files; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "not formatted: $f" >&2
        status=1
    fi
done
[ "$status" -eq 0 ] && echo "every C++ source is formatted"
exit "$status"
