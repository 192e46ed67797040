#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: the
# package lists are fetched only when something is missing.
set -euo pipefail

packages=(
    juce-modules-source juce-tools
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-14 libclang-rt-14-dev clang-format-14
    fonts-roboto-unhinted
    xvfb xauth xdotool x11-apps
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
