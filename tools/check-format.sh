#!/bin/sh
# Fails, naming the files, when a C++ source differs from the house style in .clang-format.
# tools/check-format.sh --fix rewrites them instead.
cd "$(dirname "$0")/.." || exit 1
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null) || files=$(find app fb demos platform tests bench fuzz -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
    # shellcheck disable=SC2086
    exec clang-format -i $files
fi
# shellcheck disable=SC2086
exec clang-format --dry-run -Werror $files
