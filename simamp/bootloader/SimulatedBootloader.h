#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

// The "RetBattStatus" the amplifier sends now and then, unasked.
std::vector<std::uint8_t> BatteryStatusMessage();

// The requests whose answers a fault can hit.
enum class BootloaderStep { None, FwStatus, FwInfo, WriteFlash };

struct BootloaderKnobs {
    // One answer: a step, and for "WriteFlash" the chunk index (offset / 256).
    struct Answer {
        BootloaderStep step = BootloaderStep::None;
        int chunk = 0;
        // An answer with no step is never hit, whatever else it says.
        bool is(BootloaderStep s, int c) const
        {
            return s != BootloaderStep::None && step == s && (s != BootloaderStep::WriteFlash || chunk == c);
        }
    };

    Answer drop; // the request is handled, its answer lost
    Answer late; // answered lateMs product milliseconds late
    int lateMs = 0;
    Answer stray;                 // other bootloader messages come before the answer
    bool strayFwInfo = false;     // a "RetFwInfo"
    bool strayBattStatus = false; // a "RetBattStatus"
    int refuseChunk = -1;         // this chunk gets status 0 ...
    int refuseTimes = 0;          // ... this many times before it is taken
    int silentFromChunk = -1;     // from this chunk on nothing is written or answered
    // Each "RetWriteFlash" is sent twice, back to back in one delivery.
    bool answerWritesTwice = false;
    // "RetFwInfo" carries only this many bytes of its packed block (-1: all).
    int infoPayloadBytes = -1;
};

// What the flash check at "SetFwStatus" 01 found.
enum class FlashCheck {
    NotRun,        // no chunk written since the last check
    Passed,        // imageChecksum and every block checksum match
    NoInfoBlock,   // the flash is too short for the information block or its imageWords
    ImageChecksum, // imageChecksum does not match
    BlockChecksum, // a block checksum does not match
    OtherHardware, // the block names another hardware type than the amplifier's
};

// Reasons of a refused "WriteFlash", in the status byte of "RetWriteFlash".
constexpr std::uint8_t kRefusedByKnob = 0x00;
constexpr std::uint8_t kRefusedBadMessage = 0x02; // length, end byte or 7-bit data
constexpr std::uint8_t kRefusedBadOffset = 0x03;  // not the next chunk, nor the last one again
constexpr std::uint8_t kRefusedBadChecksum = 0x04;

// The amplifier's bootloader: status switch, information block, flash
// writing with the checks a real bootloader makes, and the final image check;
// all of it by its own reading of the wire (simamp/WireFormat.h).
class SimulatedBootloader {
public:
    // Identity of the amplifier, for its information block.
    struct Identity {
        std::array<std::uint8_t, 4> mcuVersion;
        std::int32_t hardwareType;
        std::string btVersion;
    };

    // Handles "GetFwStatus", "GetFwInfo" and "WriteFlash"; false for other
    // messages. Appends its answers to `replies`.
    bool handle(const std::vector<std::uint8_t>& message, const Identity& identity,
                std::vector<std::vector<std::uint8_t>>& replies);
    // A "SetFwStatus" taken by the amplifier.
    void setFwStatus(std::uint8_t status);
    // In the bootloader from the start, as an amplifier plugged in while it
    // is being updated; no status switch is noted.
    void startInBootloader();
    // The extra delay of the answers produced by the last handle(), once.
    int takeExtraDelayMs();

    // The status "RetFwStatus" reports while the application runs (1: the
    // session switches it into the bootloader first); in the bootloader 0.
    std::uint8_t applicationStatus = 1;
    BootloaderKnobs knobs;

    bool inBootloader() const;
    std::vector<std::uint8_t> flash() const;
    FlashCheck flashCheck() const;
    int chunksWritten() const; // accepted "WriteFlash" messages
    int refusals() const;      // refused "WriteFlash" messages
    std::vector<std::uint8_t> statusSwitches() const;

private:
    using Bytes = std::vector<std::uint8_t>;

    void writeFlash(const Bytes& message, Bytes& status);
    FlashCheck checkFlash() const;

    mutable std::mutex mutex;
    bool bootloaderMode = false;
    Bytes flashBytes;
    std::int64_t nextOffset = 0;
    std::int64_t lastOffset = -1;
    bool updating = false;
    FlashCheck check = FlashCheck::NotRun;
    int written = 0;
    int refused = 0;
    int knobRefusals = 0;
    // The hardware type of the amplifier the chunks were written to.
    std::int32_t writtenFor = 0;
    int extraDelayMs = 0;
    Bytes switches;
};

} // namespace sim
