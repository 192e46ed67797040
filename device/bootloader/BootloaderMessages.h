#pragma once

#include <cstddef>
#include <cstdint>

class ZQDevice;

// The bootloader's SysEx dialect: F0, an ASCII tag, a few argument bytes, F7;
// no session id and no checksum. Its replies all land in the device's default
// session queue.
namespace bootloader {

constexpr char kGetFwStatus[] = "GetFwStatus";
constexpr char kRetFwStatus[] = "RetFwStatus";
constexpr char kSetFwStatus[] = "SetFwStatus";
constexpr char kGetFwInfo[] = "GetFwInfo";
constexpr char kRetFwInfo[] = "RetFwInfo";
constexpr char kWriteFlash[] = "WriteFlash";
constexpr char kRetWriteFlash[] = "RetWriteFlash";
constexpr char kRetBattStatus[] = "RetBattStatus";

// The bootloader's replies, and their tags in the same order. The device
// core's router hands each message that begins with one of these tags to the
// default session queue, and a session waits only for one of them
// (WaitForReply), so a reply that is missing here can be neither routed nor
// waited for. A new one goes before Count, its tag at the same place in
// kReplyTags.
enum class Reply { FwStatus, FwInfo, WriteFlash, BattStatus, Count };
constexpr const char* kReplyTags[] = {kRetFwStatus, kRetFwInfo, kRetWriteFlash, kRetBattStatus};

constexpr bool EveryReplyHasItsTag()
{
    if (sizeof kReplyTags / sizeof kReplyTags[0] != static_cast<std::size_t>(Reply::Count))
        return false;
    for (const char* tag : kReplyTags)
        if (tag == nullptr || tag[0] == '\0')
            return false;
    return true;
}
static_assert(EveryReplyHasItsTag(), "each bootloader::Reply needs its tag in kReplyTags");

constexpr const char* TagOf(Reply reply) { return kReplyTags[static_cast<std::size_t>(reply)]; }

// Byte indices of the fields the system reads or writes (index 0 is F0).
constexpr std::size_t kFwStatusIndex = 12;      // "RetFwStatus" and "SetFwStatus"
constexpr std::size_t kFwInfoPayloadIndex = 10; // "RetFwInfo"
constexpr std::size_t kFlashOffsetIndex = 11;   // "WriteFlash", 4 bytes
constexpr std::size_t kFlashChunkIndex = 15;    // "WriteFlash", the packed chunk
constexpr std::size_t kWriteStatusIndex = 18;   // "RetWriteFlash"

constexpr std::size_t kSetFwStatusLength = 14;
constexpr std::size_t kChunkBytes = 256;
constexpr std::size_t kChunkWithChecksum = kChunkBytes + 1;
constexpr std::size_t kPackedChunkBytes = 294;
constexpr std::size_t kWriteFlashLength = kFlashChunkIndex + kPackedChunkBytes + 1; // 310

constexpr std::uint8_t kStatusToBootloader = 0x00;
constexpr std::uint8_t kStatusToApplication = 0x01;
constexpr std::uint8_t kStatusBluetoothUpdate = 0x02;
constexpr std::uint8_t kChunkAccepted = 0x01;

// Offsets travel as 28 bits in four 7-bit bytes.
constexpr std::uint32_t kMaxImageBytes = 1u << 28;

// Every wait for a bootloader reply, whatever the session's timeoutMs says.
constexpr int kReplyWaitMs = 3000;
// A reply's whole wait: each message of another tag starts the wait afresh,
// but an amplifier that never stops sending them cannot hold a step longer.
constexpr int kReplyLimitMs = 4 * kReplyWaitMs;

// The session reply buffers.
constexpr std::size_t kBufferSize = 512;

// Writes F0, the tag and F7 into `out`; returns the length (tag + 2).
std::size_t BuildRequest(std::uint8_t* out, const char* tag);

// True when the bytes after F0 begin with `tag`.
bool HasTag(const std::uint8_t* message, std::size_t length, const char* tag);

// Offset bytes, least significant 7 bits first.
void EncodeOffset(std::uint32_t offset, std::uint8_t* out);
// -1 when a byte has its top bit set.
std::int64_t DecodeOffset(const std::uint8_t* in);

// The 8-bit wrap-around sum the chunk carries after its image bytes.
std::uint8_t ChunkChecksum(const std::uint8_t* bytes, std::size_t length);

// Reads messages of the default queue into `reply` until one carries the
// tag of `expected` and, when `readIndex` is not 0, holds a byte at
// `readIndex` before its end
// byte; every other message is dropped and the wait begins afresh. Returns
// the length of the matching reply, -1 when a wait of kReplyWaitMs ends
// without a message or kReplyLimitMs have gone since the call without the
// reply (time in which the process could not run aside).
int WaitForReply(ZQDevice* device, int sid, std::uint8_t* reply, std::size_t capacity, Reply expected,
                 std::size_t readIndex);

// The raw "SetFwStatus" switch; waits for nothing. Returns Send's result
// (-1 also for a null device).
int SendSetFwStatus(ZQDevice* device, std::uint8_t status);

} // namespace bootloader
