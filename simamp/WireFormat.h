#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The amplifier's side of the wire format, written apart from the product's
// codecs, packer and bootloader definitions: a fault there (a wrong frame
// checksum, a packing slip, a tag, an offset or a field of the information
// block) then makes the two sides disagree, and an end-to-end test fails on
// it. No product bootloader header or codec is included anywhere in simamp/
// (scripts/check-includes.sh refuses them).
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

// Bootloader messages: F0, an ASCII tag, arguments, F7; no session id, no
// checksum. The amplifier's own names for them, apart from the product's.
namespace tag {
constexpr char kGetFwStatus[] = "GetFwStatus";
constexpr char kRetFwStatus[] = "RetFwStatus";
constexpr char kSetFwStatus[] = "SetFwStatus";
constexpr char kGetFwInfo[] = "GetFwInfo";
constexpr char kRetFwInfo[] = "RetFwInfo";
constexpr char kWriteFlash[] = "WriteFlash";
constexpr char kRetWriteFlash[] = "RetWriteFlash";
constexpr char kRetBattStatus[] = "RetBattStatus";
} // namespace tag

// F0, the tag, the arguments, F7.
Bytes bootloaderMessage(const char* tag, const Bytes& arguments = {});
// Whether the message is F0 and then bytes that begin with the tag.
bool hasTag(const Bytes& message, const char* tag);
// A request of the tag alone: F0, the tag, F7, nothing else.
bool isRequest(const Bytes& message, const char* tag);

// Where the fields lie (index 0 is F0).
constexpr std::size_t kStatusAt = 12; // "SetFwStatus" and "RetFwStatus": the status
constexpr std::size_t kSetFwStatusBytes = 14;
constexpr std::size_t kInfoPayloadAt = 10; // "RetFwInfo": the packed information block
constexpr std::size_t kOffsetAt = 11;      // "WriteFlash": the offset's four groups
constexpr std::size_t kChunkAt = 15;       // "WriteFlash": the packed chunk
constexpr std::size_t kChunkImageBytes = 256;
constexpr std::size_t kChunkBytes = 257; // the image bytes and their 8-bit sum
constexpr std::size_t kPackedChunkBytes = 294;
constexpr std::size_t kWriteFlashBytes = 310;

// The "SetFwStatus" statuses, and the "RetWriteFlash" status of a written chunk.
constexpr std::uint8_t kToBootloader = 0x00;
constexpr std::uint8_t kToApplication = 0x01;
constexpr std::uint8_t kBluetoothUpdate = 0x02;
constexpr std::uint8_t kWritten = 0x01;

// The firmware information block, 92 bytes, multi-byte fields little-endian;
// every image carries it at offset 0x400.
namespace info {
constexpr std::size_t kBytes = 92;
constexpr std::size_t kInImageAt = 0x400;
constexpr std::size_t kModelTagAt = 0;   // four ASCII letters
constexpr std::size_t kMcuVersionAt = 8; // a.b.c.d, a byte each
constexpr std::size_t kImageWordsAt = 12;
constexpr std::size_t kImageChecksumAt = 16;
constexpr std::size_t kBlocksAt = 20; // 8 x (words, checksum)
constexpr std::size_t kBlockCount = 8;
constexpr std::size_t kHardwareTypeAt = 84;
constexpr std::size_t kBtVersionAt = 88; // up to four ASCII characters, the rest zero
} // namespace info

std::uint32_t readLE32(const std::uint8_t* at);
void writeLE32(std::uint32_t value, std::uint8_t* at);

// The wrap-around sum of the little-endian 32-bit words first to
// first+count-1 of the flash, the block's own 23 words left out; bytes past
// the flash's end read as zero.
std::uint32_t wordSum(const Bytes& flash, std::size_t first, std::size_t count);

} // namespace sim::wire
