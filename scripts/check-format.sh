#!/bin/sh
# Fails, naming the files, when a C++ file of the tree is not as clang-format (with .clang-format) writes it.
# With --fix it rewrites them instead.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i $files
    exit 0
fi
bad=""
for f in $files; do
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
done
if [ -n "$bad" ]; then
    echo "not formatted (run scripts/check-format.sh --fix):$bad" >&2
    exit 1
fi
echo "formatting: all $(echo "$files" | wc -w) files as clang-format writes them"
