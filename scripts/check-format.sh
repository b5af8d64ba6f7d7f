#!/usr/bin/env bash
# Fails when a C++ file of the tree drifts from .clang-format (the one formatting convention);
# `clang-format -i FILE` brings a file back in line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
format=${CLANG_FORMAT:-clang-format}
cd "$root"
if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o -path './build-*' -prune -o \
                         \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
[ "${#files[@]}" -gt 0 ] || { echo "check-format: no C++ files found" >&2; exit 1; }
"$format" --dry-run --Werror "${files[@]}"
echo "check-format: ${#files[@]} files follow .clang-format"
