#!/usr/bin/env bash
# Every C++ source file of the tree is named in a CMake file, so that none is
# left out of the build unseen (a test file that is in no list makes no test).
# A file counts as named when a CMakeLists.txt or .cmake file in its folder or
# in a folder above names it by its path from that folder (bare, or after
# ${CMAKE_CURRENT_SOURCE_DIR}/ or ${CMAKE_CURRENT_LIST_DIR}/), or any CMake
# file names it from the repository root (${PROJECT_SOURCE_DIR}/...). Files
# not yet added to git count too.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t cmake_files < <(git ls-files --cached --others --exclude-standard -- 'CMakeLists.txt' '*/CMakeLists.txt' '*.cmake')

# Whether `file` names `path` as a word of its own.
names() {
    local path=${2//./\\.}
    grep -q -E "(^|[[:space:]\"(]|\\\$\\{CMAKE_CURRENT_(SOURCE|LIST)_DIR\\}/)${path}([[:space:]\")]|$)" "$1"
}

status=0
while read -r source; do
    found=0
    dir=$(dirname "$source")
    while :; do
        rel=${source#"$dir"/}
        [[ $dir == . ]] && rel=$source
        for cmake in "$dir"/CMakeLists.txt "$dir"/*.cmake; do
            [[ -f $cmake ]] && names "$cmake" "$rel" && { found=1; break 2; }
        done
        [[ $dir == . ]] && break
        dir=$(dirname "$dir")
    done
    if ((!found)); then
        for cmake in "${cmake_files[@]}"; do
            grep -q -F -e "\${PROJECT_SOURCE_DIR}/$source" -e "\${CMAKE_SOURCE_DIR}/$source" "$cmake" && { found=1; break; }
        done
    fi
    if ((!found)); then
        echo "$source: named in no CMakeLists.txt or .cmake file, so it is not built"
        status=1
    fi
done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.cc' '*.c')
exit $status
