#!/usr/bin/env bash
# Installs what is needed, builds the product and runs the main job. Extra
# arguments go to the program in place of the default "--path".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

dir=${KOVRA_BUILD_ROOT:-build}/release
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! ninja -C "$dir" -j "$(nproc)" KovraTikoFirmwareUpdater >"$dir/main-build.log" 2>&1; then
    tail -n 40 "$dir/main-build.log"
    exit 1
fi
if (($#)); then
    exec "$dir/bin/KovraTikoFirmwareUpdater" "$@"
fi
exec "$dir/bin/KovraTikoFirmwareUpdater" --path
