#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job: an MCU firmware
# update from the standard image with the console's --path. With no MIDI
# system on the machine (no ALSA sequencer) no amplifier can be connected, so
# the demo build runs it against a simulated Kovra TIKO instead of the
# product. Extra arguments go to the program in place of the default
# "--path <standard image>" (for example --reset or --bt).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

dir=${KOVRA_BUILD_ROOT:-build}/release
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! ninja -C "$dir" -j "$(nproc)" KovraTikoFirmwareUpdater KovraTikoFirmwareUpdaterDemo kovra_resources \
        >"$dir/main-build.log" 2>&1; then
    tail -n 40 "$dir/main-build.log"
    exit 1
fi

program=$dir/bin/KovraTikoFirmwareUpdater
if [[ ${KOVRA_MAIN:-} == demo || (${KOVRA_MAIN:-} != product && ! -e /dev/snd/seq) ]]; then
    echo "No MIDI system here: running the demo build against a simulated Kovra TIKO." >&2
    program=$dir/bin/KovraTikoFirmwareUpdaterDemo
fi
if (($#)); then
    exec "$program" "$@"
fi
exec "$program" --path "$dir/firmware/Checksumed_kovra_10_speaker.bin"
