#!/usr/bin/env bash
# Formats the tree's C++ files in place with .clang-format (clang-format 14).
# --check only reports the files that would change, and fails then. Files not
# yet added to git count too, so that a new one is not passed over.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
[[ ${1:-} == --check ]] && mode=(--dry-run --Werror)
git ls-files -z --cached --others --exclude-standard '*.cpp' '*.h' ':!:fuzz/seeds/**' | xargs -0 -r clang-format-14 --style=file "${mode[@]}"
