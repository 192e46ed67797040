#!/usr/bin/env bash
# Every own quoted include names its file by its path from the repository
# root (or a header the build generates under kovra_generated/), so that no
# header can shadow another of the same name in a different folder.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
while IFS=: read -r file line text; do
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$text")
    [[ $name == kovra_generated/* || -f $name ]] && continue
    echo "$file:$line: \"$name\" is not a path from the repository root"
    status=1
done < <(git grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' -- '*.cpp' '*.h' '*.cmake')
exit $status
