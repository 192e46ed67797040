#include "simamp/bootloader/SimulatedBootloader.h"

#include "simamp/WireFormat.h"

#include <algorithm>
#include <cstring>

namespace sim {

using namespace wire;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The information block: the model tag, the MCU version, the hardware type
// and the Bluetooth version; the rest zero.
Bytes InfoReply(const SimulatedBootloader::Identity& identity)
{
    Bytes block(info::kBytes, 0);
    std::memcpy(block.data() + info::kModelTagAt, "TIKO", 4);
    std::copy(identity.mcuVersion.begin(), identity.mcuVersion.end(), block.begin() + info::kMcuVersionAt);
    writeLE32(static_cast<std::uint32_t>(identity.hardwareType), block.data() + info::kHardwareTypeAt);
    std::memcpy(block.data() + info::kBtVersionAt, identity.btVersion.data(),
                std::min<std::size_t>(identity.btVersion.size(), 4));
    return bootloaderMessage(tag::kRetFwInfo, pack(block));
}

// The bootloader's own sum of the chunk's image bytes, kept apart from the
// updater's, so that a wrong checksum there cannot make both sides agree.
std::uint8_t SumOfImageBytes(const Bytes& chunk)
{
    unsigned total = 0;
    for (std::size_t i = 0; i < kChunkImageBytes; ++i)
        total += chunk[i];
    return static_cast<std::uint8_t>(total & 0xFFu);
}

} // namespace

std::vector<std::uint8_t> BatteryStatusMessage() { return bootloaderMessage(tag::kRetBattStatus, {0x00, 0x64}); }

bool SimulatedBootloader::handle(const Bytes& message, const Identity& identity, std::vector<Bytes>& replies)
{
    if (message.size() < 2 || message.front() != 0xF0)
        return false;

    std::lock_guard<std::mutex> lock(mutex);
    BootloaderStep step = BootloaderStep::None;
    int chunk = 0;
    Bytes answer;
    if (isRequest(message, tag::kGetFwStatus)) {
        step = BootloaderStep::FwStatus;
        answer = bootloaderMessage(tag::kRetFwStatus, {bootloaderMode ? std::uint8_t(0) : applicationStatus});
    } else if (isRequest(message, tag::kGetFwInfo)) {
        step = BootloaderStep::FwInfo;
        answer = InfoReply(identity);
        const std::size_t whole = answer.size() - kInfoPayloadAt - 1;
        if (knobs.infoPayloadBytes >= 0 && static_cast<std::size_t>(knobs.infoPayloadBytes) < whole) {
            answer.erase(answer.begin() + static_cast<std::ptrdiff_t>(kInfoPayloadAt) + knobs.infoPayloadBytes,
                         answer.end() - 1);
        }
    } else if (hasTag(message, tag::kWriteFlash)) {
        // The application does not know "WriteFlash"; only the bootloader answers.
        if (!bootloaderMode && applicationStatus == 1)
            return true;
        step = BootloaderStep::WriteFlash;
        Bytes status;
        if (message.size() >= kChunkAt) {
            const std::int64_t at = offset(message.data() + kOffsetAt);
            chunk = at < 0 ? -1 : static_cast<int>(at / static_cast<std::int64_t>(kChunkImageBytes));
            if (knobs.silentFromChunk >= 0 && chunk >= knobs.silentFromChunk)
                return true;
            status.assign(message.begin() + kOffsetAt, message.begin() + kOffsetAt + 4);
        } else {
            status.assign(4, 0);
        }
        writtenFor = identity.hardwareType;
        writeFlash(message, status);
        answer = bootloaderMessage(tag::kRetWriteFlash, status);
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
            replies.push_back(BatteryStatusMessage());
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
    if (message.size() != kWriteFlashBytes || message.back() != 0xF7)
        return refuse(kRefusedBadMessage);
    const std::int64_t to = offset(message.data() + kOffsetAt);
    if (to < 0)
        return refuse(kRefusedBadMessage);
    const int chunk = static_cast<int>(to / static_cast<std::int64_t>(kChunkImageBytes));
    if (chunk == knobs.refuseChunk && knobRefusals < knobs.refuseTimes) {
        ++knobRefusals;
        return refuse(kRefusedByKnob);
    }
    if (to % static_cast<std::int64_t>(kChunkImageBytes) != 0 || (to != 0 && to != nextOffset && to != lastOffset))
        return refuse(kRefusedBadOffset);

    const std::uint8_t* packed = message.data() + kChunkAt;
    if (std::any_of(packed, packed + kPackedChunkBytes, [](std::uint8_t b) { return b & 0x80; }))
        return refuse(kRefusedBadMessage);
    const Bytes chunkBytes = unpack(packed, kPackedChunkBytes);
    if (chunkBytes.size() != kChunkBytes)
        return refuse(kRefusedBadMessage);
    if (SumOfImageBytes(chunkBytes) != chunkBytes[kChunkImageBytes])
        return refuse(kRefusedBadChecksum);

    if (to == 0)
        flashBytes.clear(); // a new image
    const auto at = static_cast<std::size_t>(to);
    if (flashBytes.size() < at + kChunkImageBytes)
        flashBytes.resize(at + kChunkImageBytes);
    std::copy(chunkBytes.data(), chunkBytes.data() + kChunkImageBytes, flashBytes.data() + at);
    lastOffset = to;
    nextOffset = to + static_cast<std::int64_t>(kChunkImageBytes);
    updating = true;
    ++written;
    status.push_back(kWritten);
}

void SimulatedBootloader::setFwStatus(std::uint8_t status)
{
    std::lock_guard<std::mutex> lock(mutex);
    switches.push_back(status);
    if (status == kToBootloader) {
        bootloaderMode = true;
        nextOffset = 0;
        lastOffset = -1;
    } else if (status == kToApplication) {
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
    if (flashBytes.size() < info::kInImageAt + info::kBytes)
        return FlashCheck::NoInfoBlock;
    const std::uint8_t* block = flashBytes.data() + info::kInImageAt;
    const std::uint32_t imageWords = readLE32(block + info::kImageWordsAt);
    if (std::uint64_t(imageWords) * 4 > flashBytes.size())
        return FlashCheck::NoInfoBlock;
    if (wordSum(flashBytes, 0, imageWords) != readLE32(block + info::kImageChecksumAt))
        return FlashCheck::ImageChecksum;
    std::size_t first = 0;
    for (std::size_t i = 0; i < info::kBlockCount; ++i) {
        const std::uint8_t* entry = block + info::kBlocksAt + 8 * i;
        const std::uint32_t words = readLE32(entry);
        if (wordSum(flashBytes, first, words) != readLE32(entry + 4))
            return FlashCheck::BlockChecksum;
        first += words;
    }
    // An image made for other hardware would not run here.
    if (static_cast<std::int32_t>(readLE32(block + info::kHardwareTypeAt)) != writtenFor)
        return FlashCheck::OtherHardware;
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
