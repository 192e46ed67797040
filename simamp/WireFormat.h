#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The amplifier's side of the wire format, written apart from the product's
// codecs and packer: a fault there (a wrong frame checksum, a packing slip)
// then makes the two sides disagree, and an end-to-end test fails on it.
namespace sim::wire {

using Bytes = std::vector<std::uint8_t>;

// 7-bit packing: per group of up to 7 bytes a byte of their top bits (bit i
// for the group's byte i), then the bytes with the top bit cleared.
Bytes pack(const Bytes& data);
// The reverse; a lone header byte at the end gives nothing.
Bytes unpack(const std::uint8_t* packed, std::size_t length);

// F0 01 sid checksum op1 op2, the packed data, F7; the checksum is the
// exclusive-or of the packed bytes, AND 7F.
Bytes commandFrame(std::uint8_t sid, std::uint8_t op1, std::uint8_t op2, const Bytes& data);
// Whether a received command frame's checksum byte is right.
bool checksumHolds(const Bytes& frame);

// A flash offset as four 7-bit groups, lowest first; -1 when a byte has its
// top bit set.
std::int64_t offset(const std::uint8_t* groups);

} // namespace sim::wire
