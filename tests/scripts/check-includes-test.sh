#!/usr/bin/env bash
# The include check on a small tree of its own: each wrong include is
# refused with its file and line, and the tree without them passes.
set -euo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/check-includes.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cd "$tree"
git init -q .
mkdir -p scripts device/core device/bootloader device/midi commands states simamp ui
cp "$script" scripts/

header() { printf '#pragma once\n' >"$1"; }
header device/core/ZQDevice.h
header device/bootloader/BootloaderMessages.h
header device/midi/DeviceManager.h
header commands/ChildCommand.h
header states/AppState.h
header simamp/WireFormat.h
# Includes that keep to the layers.
printf '#include "device/core/ZQDevice.h"\n#include <vector>\n' >device/bootloader/Session.cpp
printf '#include "device/midi/DeviceManager.h"\n#include "states/AppState.h"\n#include <juce_core/juce_core.h>\n' >ui/View.cpp
printf '#include "simamp/WireFormat.h"\n#include "device/core/ZQDevice.h"\n' >simamp/Amp.cpp

expect_pass() {
    if ! out=$(bash scripts/check-includes.sh 2>&1); then
        echo "a tree that keeps to the layers was refused:"
        echo "$out"
        exit 1
    fi
}

# expect_refused FILE CONTENT TEXT: with FILE holding CONTENT the check fails
# and names FILE, line 1, with TEXT; without it, it passes again.
expect_refused() {
    local file=$1 content=$2 text=$3 out
    printf '%s\n' "$content" >"$file"
    if out=$(bash scripts/check-includes.sh 2>&1); then
        echo "not refused: $file with $content"
        exit 1
    fi
    if [[ $out != *"$file:1: "*"$text"* ]]; then
        echo "refused without saying so for $file ($content): $out"
        exit 1
    fi
    rm "$file"
    expect_pass
}

expect_pass
expect_refused device/core/Wrong.cpp '#include "commands/ChildCommand.h"' 'may not be included here (device/core'
expect_refused device/midi/Wrong.cpp '#include "states/AppState.h"' 'may not be included here (device/midi'
expect_refused commands/Wrong.cpp '#include "device/midi/DeviceManager.h"' 'may not be included here (commands'
expect_refused simamp/Wrong.cpp '#include "device/bootloader/BootloaderMessages.h"' 'may not be included here'
expect_refused device/core/Wrong.cpp '#include <juce_core/juce_core.h>' 'builds without JUCE'
expect_refused ui/Wrong.cpp '#include "ZQDevice.h"' 'is not a path from the repository root'
echo "every wrong include refused"
