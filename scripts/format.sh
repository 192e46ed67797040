#!/usr/bin/env bash
# Formats the tree's C++ files in place with .clang-format (clang-format 14).
# --check only reports the files that would change, and fails then.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
[[ ${1:-} == --check ]] && mode=(--dry-run --Werror)
git ls-files -z '*.cpp' '*.h' ':!:fuzz/seeds/**' | xargs -0 -r clang-format-14 --style=file "${mode[@]}"
