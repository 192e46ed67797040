#include "simamp/bootloader/SimulatedBootloader.h"

#include "device/bootloader/BootloaderMessages.h"
#include "simamp/WireFormat.h"

#include <algorithm>
#include <cstring>

namespace sim {

using namespace bootloader;

namespace {

using Bytes = std::vector<std::uint8_t>;

bool IsRequest(const Bytes& m, const char* tag)
{
    return m.size() == std::strlen(tag) + 2 && m.front() == 0xF0 && m.back() == 0xF7 && HasTag(m.data(), m.size(), tag);
}

// The 92-byte information block laid out here, not by the product's
// FirmwareInfo: the model tag, the MCU version at 8, the hardware type
// (little-endian) at 84 and the Bluetooth version at 88; the rest zero.
Bytes InfoReply(const SimulatedBootloader::Identity& identity)
{
    Bytes block(92, 0);
    std::memcpy(block.data(), "TIKO", 4);
    std::copy(identity.mcuVersion.begin(), identity.mcuVersion.end(), block.begin() + 8);
    const auto type = static_cast<std::uint32_t>(identity.hardwareType);
    for (int i = 0; i < 4; ++i)
        block[84 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(type >> (8 * i));
    std::memcpy(block.data() + 88, identity.btVersion.data(), std::min<std::size_t>(identity.btVersion.size(), 4));
    return BootloaderMessage(kRetFwInfo, wire::pack(block));
}

// The bootloader's own sum of the chunk's image bytes, kept apart from the
// updater's, so that a wrong checksum there cannot make both sides agree.
std::uint8_t SumOfImageBytes(const Bytes& chunk)
{
    unsigned total = 0;
    for (std::size_t i = 0; i < kChunkBytes; ++i)
        total += chunk[i];
    return static_cast<std::uint8_t>(total & 0xFFu);
}

} // namespace

std::vector<std::uint8_t> BootloaderMessage(const char* tag, const std::vector<std::uint8_t>& arguments)
{
    Bytes m(std::strlen(tag) + 2);
    BuildRequest(m.data(), tag);
    m.insert(m.end() - 1, arguments.begin(), arguments.end());
    return m;
}

bool SimulatedBootloader::handle(const Bytes& message, const Identity& identity, std::vector<Bytes>& replies)
{
    if (message.size() < 2 || message.front() != 0xF0)
        return false;

    std::lock_guard<std::mutex> lock(mutex);
    BootloaderStep step = BootloaderStep::None;
    int chunk = 0;
    Bytes answer;
    if (IsRequest(message, kGetFwStatus)) {
        step = BootloaderStep::FwStatus;
        answer = BootloaderMessage(kRetFwStatus, {bootloaderMode ? std::uint8_t(0) : applicationStatus});
    } else if (IsRequest(message, kGetFwInfo)) {
        step = BootloaderStep::FwInfo;
        answer = InfoReply(identity);
        const std::size_t whole = answer.size() - kFwInfoPayloadIndex - 1;
        if (knobs.infoPayloadBytes >= 0 && static_cast<std::size_t>(knobs.infoPayloadBytes) < whole) {
            answer.erase(answer.begin() + static_cast<std::ptrdiff_t>(kFwInfoPayloadIndex) + knobs.infoPayloadBytes,
                         answer.end() - 1);
        }
    } else if (HasTag(message.data(), message.size(), kWriteFlash)) {
        // The application does not know "WriteFlash"; only the bootloader answers.
        if (!bootloaderMode && applicationStatus == 1)
            return true;
        step = BootloaderStep::WriteFlash;
        Bytes status;
        if (message.size() >= kFlashChunkIndex) {
            const std::int64_t offset = wire::offset(message.data() + kFlashOffsetIndex);
            chunk = offset < 0 ? -1 : static_cast<int>(offset / static_cast<std::int64_t>(kChunkBytes));
            if (knobs.silentFromChunk >= 0 && chunk >= knobs.silentFromChunk)
                return true;
            status.assign(message.begin() + kFlashOffsetIndex, message.begin() + kFlashOffsetIndex + 4);
        } else {
            status.assign(4, 0);
        }
        writeFlash(message, status);
        answer = BootloaderMessage(kRetWriteFlash, status);
    } else {
        return false;
    }

    extraDelayMs = knobs.late.is(step, chunk) ? knobs.lateMs : 0;
    if (knobs.drop.is(step, chunk))
        return true;
    if (knobs.stray.is(step, chunk)) {
        if (knobs.strayFwInfo)
            replies.push_back(InfoReply(identity));
        if (knobs.strayBattStatus)
            replies.push_back(BootloaderMessage(kRetBattStatus, {0x00, 0x64}));
    }
    if (step == BootloaderStep::WriteFlash && knobs.answerWritesTwice) {
        const Bytes once = answer; // both in one delivery, as one packet
        answer.insert(answer.end(), once.begin(), once.end());
    }
    replies.push_back(std::move(answer));
    return true;
}

void SimulatedBootloader::writeFlash(const Bytes& message, Bytes& status)
{
    auto refuse = [&](std::uint8_t why) {
        ++refused;
        status.push_back(why);
    };
    if (message.size() != kWriteFlashLength || message.back() != 0xF7)
        return refuse(kRefusedBadMessage);
    const std::int64_t offset = wire::offset(message.data() + kFlashOffsetIndex);
    if (offset < 0)
        return refuse(kRefusedBadMessage);
    const int chunk = static_cast<int>(offset / static_cast<std::int64_t>(kChunkBytes));
    if (chunk == knobs.refuseChunk && knobRefusals < knobs.refuseTimes) {
        ++knobRefusals;
        return refuse(kRefusedByKnob);
    }
    if (offset % static_cast<std::int64_t>(kChunkBytes) != 0
        || (offset != 0 && offset != nextOffset && offset != lastOffset))
        return refuse(kRefusedBadOffset);

    const std::uint8_t* packed = message.data() + kFlashChunkIndex;
    if (std::any_of(packed, packed + kPackedChunkBytes, [](std::uint8_t b) { return b & 0x80; }))
        return refuse(kRefusedBadMessage);
    const Bytes chunkBytes = wire::unpack(packed, kPackedChunkBytes);
    if (chunkBytes.size() != kChunkWithChecksum)
        return refuse(kRefusedBadMessage);
    if (SumOfImageBytes(chunkBytes) != chunkBytes[kChunkBytes])
        return refuse(kRefusedBadChecksum);

    if (offset == 0)
        flashBytes.clear(); // a new image
    const auto at = static_cast<std::size_t>(offset);
    if (flashBytes.size() < at + kChunkBytes)
        flashBytes.resize(at + kChunkBytes);
    std::copy(chunkBytes.data(), chunkBytes.data() + kChunkBytes, flashBytes.data() + at);
    lastOffset = offset;
    nextOffset = offset + static_cast<std::int64_t>(kChunkBytes);
    updating = true;
    ++written;
    status.push_back(kChunkAccepted);
}

void SimulatedBootloader::setFwStatus(std::uint8_t status)
{
    std::lock_guard<std::mutex> lock(mutex);
    switches.push_back(status);
    if (status == kStatusToBootloader) {
        bootloaderMode = true;
        nextOffset = 0;
        lastOffset = -1;
    } else if (status == kStatusToApplication) {
        if (updating)
            check = checkFlash();
        updating = false;
        bootloaderMode = false;
    }
}

void SimulatedBootloader::startInBootloader()
{
    std::lock_guard<std::mutex> lock(mutex);
    bootloaderMode = true;
    nextOffset = 0;
    lastOffset = -1;
}

FlashCheck SimulatedBootloader::checkFlash() const
{
    const std::uint8_t* data = flashBytes.data();
    const std::size_t size = flashBytes.size();
    if (size < FirmwareInfo::kImageOffset + FirmwareInfo::kSize)
        return FlashCheck::NoInfoBlock;
    const FirmwareInfo info = FirmwareInfo::fromBytes(data + FirmwareInfo::kImageOffset, FirmwareInfo::kSize);
    if (std::uint64_t(info.imageWords) * 4 > size)
        return FlashCheck::NoInfoBlock;
    if (ImageChecksum(data, size, info.imageWords) != info.imageChecksum)
        return FlashCheck::ImageChecksum;
    std::size_t first = 0;
    for (const auto& block : info.blocks) {
        if (BlockChecksum(data, size, first, block.words) != block.checksum)
            return FlashCheck::BlockChecksum;
        first += block.words;
    }
    return FlashCheck::Passed;
}

int SimulatedBootloader::takeExtraDelayMs()
{
    std::lock_guard<std::mutex> lock(mutex);
    const int ms = extraDelayMs;
    extraDelayMs = 0;
    return ms;
}

bool SimulatedBootloader::inBootloader() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return bootloaderMode;
}

std::vector<std::uint8_t> SimulatedBootloader::flash() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return flashBytes;
}

FlashCheck SimulatedBootloader::flashCheck() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return check;
}

int SimulatedBootloader::chunksWritten() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return written;
}

int SimulatedBootloader::refusals() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return refused;
}

std::vector<std::uint8_t> SimulatedBootloader::statusSwitches() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return switches;
}

} // namespace sim
