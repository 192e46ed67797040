#!/usr/bin/env bash
# Every own quoted include names its file by its path from the repository
# root (or a header the build generates under kovra_generated/), so that no
# header can shadow another of the same name in a different folder; every
# file includes only from the folders its layer may reach (the table below,
# which ARCHITECTURE.md explains); the parts built without JUCE include none
# of it; and no file includes what its folder is refused. Files not yet added
# to git are checked too.
set -euo pipefail
cd "$(dirname "$0")/.."

# Which folders a folder's files may include from, "folder: folders". The
# longest folder that holds a file gives its rule; a folder may include from
# its own subfolders. Folders not listed (tests, fuzz, bench) may include
# anything.
layers=(
    'runtime: runtime'
    'runtime/messagethread: runtime'
    'device/core: device/core device/bootloader runtime'
    'device/bootloader: device/core device/bootloader runtime'
    'device/midi: device/core device/bootloader device/midi runtime'
    'device/ble: device/core device/ble runtime'
    'commands: commands runtime'
    'resources: resources device/bootloader kovra_generated'
    'ui: ui states commands device resources runtime'
    'states: ui states commands device resources runtime'
    'app: app ui states commands device resources runtime'
    'app/console: app/console commands device runtime'
    'app/demo: app commands device runtime simamp'
    'simamp: simamp device/core runtime'
    'simamp/ports: simamp device/core device/midi runtime'
    'standin: standin device/ble'
)

# The folders built without JUCE (the device core, its fuzzers and the
# simulated amplifier); their subfolders too, but for the ones named after
# a colon.
without_juce=(
    'runtime: runtime/messagethread'
    'device/core:'
    'device/bootloader:'
    'simamp: simamp/ports'
)

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

# rule_of FILE: the layer rule of the longest listed folder that holds FILE.
rule_of() {
    local file=$1 entry folder best= rule=
    for entry in "${layers[@]}"; do
        folder=${entry%%:*}
        if [[ $file == "$folder"/* && ${#folder} -gt ${#best} ]]; then
            best=$folder
            rule=$entry
        fi
    done
    printf '%s' "$rule"
}

# within FILE FOLDERS...: whether FILE lies in one of the folders.
within() {
    local file=$1 folder
    shift
    for folder in "$@"; do
        [[ $file == "$folder"/* ]] && return 0
    done
    return 1
}

built_without_juce() {
    local file=$1 entry folder
    for entry in "${without_juce[@]}"; do
        folder=${entry%%:*}
        # shellcheck disable=SC2086
        if [[ $file == "$folder"/* ]] && ! within "$file" ${entry#*:}; then
            return 0
        fi
    done
    return 1
}

status=0
while IFS=: read -r file line text; do
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\< ]]; then
        if [[ $text =~ \<(juce_[a-z_]+) ]] && built_without_juce "$file"; then
            echo "$file:$line: <${BASH_REMATCH[1]}/...> may not be included here: this part builds without JUCE"
            status=1
        fi
        continue
    fi
    name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/' <<<"$text")
    if [[ $name != kovra_generated/* && ! -f $name ]]; then
        echo "$file:$line: \"$name\" is not a path from the repository root"
        status=1
    fi
    rule=$(rule_of "$file")
    # shellcheck disable=SC2086
    if [[ -n $rule ]] && ! within "$name" ${rule#*:}; then
        echo "$file:$line: \"$name\" may not be included here (${rule%%:*} may include from:${rule#*:})"
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
done < <(git grep --untracked -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' -- '*.cpp' '*.h' '*.cmake')
exit $status
