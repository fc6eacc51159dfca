#!/usr/bin/env bash
# Fails when a C or C++ file of the repository does not follow .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' '*.cc')
if [ ${#files[@]} -eq 0 ]; then exit 0; fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "Formatting differs from .clang-format: run clang-format -i on the files above." >&2
  exit 1
fi
echo "clang-format: ${#files[@]} files follow .clang-format"
