#pragma once

#include <array>
#include <cstdint>

// One amplifier found by a probe: its device id and the indices, in the port
// lists as they were at probe time, of the input that carried its reply and
// of the output that was being probed then.
struct _G1MidiDeviceDescriptor {
    std::array<std::uint8_t, 8> uuid;
    std::int32_t midiInputIndex;
    std::int32_t midiOutputIndex;
};

static_assert(sizeof(_G1MidiDeviceDescriptor) == 16, "a descriptor is kept by value as 16 bytes");
