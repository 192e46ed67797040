#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZQSysEx {

// Packs 8-bit data into 7-bit MIDI data bytes: groups of up to 7 bytes, each
// preceded by a header byte carrying their top bits. `out` must have room for
// PackedSize(length) bytes. Returns the number of bytes written.
std::uint32_t SetupMidiDataFromGeneralData(std::uint8_t* out, const std::uint8_t* in, std::uint32_t length);

std::size_t PackedSize(std::size_t n);
std::size_t UnpackedSize(std::size_t m);

// The reverse of the packing; a lone trailing header byte yields nothing.
// Data bytes are ORed in as they are, top bit included.
std::vector<std::uint8_t> Unpack(const std::uint8_t* packed, std::size_t length);

// XOR of the payload bytes, AND 7F; 0 for an empty payload.
std::uint8_t Checksum(const std::uint8_t* payload, std::size_t length);

} // namespace ZQSysEx
