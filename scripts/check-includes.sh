#!/usr/bin/env bash
# Every own quoted include names its file by its path from the repository
# root (or a header the build generates under kovra_generated/), so that no
# header can shadow another of the same name in a different folder; and no
# file includes what its folder is refused below. Files not yet added to git
# are checked too.
set -euo pipefail
cd "$(dirname "$0")/.."

# Refused includes, one "files:headers" pair of patterns a line. The
# simulated amplifier reads and writes the wire on its own, never with the
# product's bootloader messages or codecs, so that a fault in those cannot
# pass an end-to-end test unseen.
refused=(
    'simamp/*:device/bootloader/*'
    'simamp/*:device/core/*Codec.h'
    'simamp/*:device/core/ZQSysEx.h'
    'simamp/*:device/core/StdStringPacker.h'
)

status=0
while IFS=: read -r file line text; do
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$text")
    if [[ $name != kovra_generated/* && ! -f $name ]]; then
        echo "$file:$line: \"$name\" is not a path from the repository root"
        status=1
    fi
    for rule in "${refused[@]}"; do
        # Unquoted on the right: the patterns match as globs.
        # shellcheck disable=SC2053
        if [[ $file == ${rule%%:*} && $name == ${rule#*:} ]]; then
            echo "$file:$line: \"$name\" may not be included here (${rule%%:*} refuses ${rule#*:})"
            status=1
        fi
    done
done < <(git grep --untracked -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' -- '*.cpp' '*.h' '*.cmake')
exit $status
