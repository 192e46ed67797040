#include "device/bootloader/FirmwareInfo.h"

#include <cstddef>
#include <cstring>

namespace bootloader {

static_assert(sizeof(FirmwareInfo) == FirmwareInfo::kSize, "the block has no padding");
static_assert(offsetof(FirmwareInfo, mcuVersion) == 8, "");
static_assert(offsetof(FirmwareInfo, imageWords) == 12, "");
static_assert(offsetof(FirmwareInfo, imageChecksum) == 16, "");
static_assert(offsetof(FirmwareInfo, blocks) == 20, "");
static_assert(offsetof(FirmwareInfo, hardwareType) == 84, "");
static_assert(offsetof(FirmwareInfo, btVersion) == 88, "");

namespace {

std::uint32_t ReadLE32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
           | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteLE32(std::uint32_t v, std::uint8_t* p)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t WordAt(const std::uint8_t* image, std::size_t length, std::size_t word)
{
    const std::size_t at = word * 4;
    if (at + 4 <= length)
        return ReadLE32(image + at);
    std::uint8_t bytes[4] = {};
    for (std::size_t i = 0; at + i < length && i < 4; ++i)
        bytes[i] = image[at + i];
    return ReadLE32(bytes);
}

std::uint32_t SumWords(const std::uint8_t* image, std::size_t length, std::size_t first, std::size_t count)
{
    const std::size_t end = first + count;
    std::uint32_t sum = 0;
    for (std::size_t w = first; w < end; ++w) {
        if (w >= FirmwareInfo::kFirstWord && w < FirmwareInfo::kFirstWord + FirmwareInfo::kWords)
            continue;
        if (w * 4 >= length)
            break; // the rest reads as zero
        sum += WordAt(image, length, w);
    }
    return sum;
}

} // namespace

FirmwareInfo FirmwareInfo::fromBytes(const std::uint8_t* data, std::size_t length)
{
    std::uint8_t raw[kSize] = {};
    if (data != nullptr)
        std::memcpy(raw, data, length < kSize ? length : kSize);

    FirmwareInfo info{};
    std::memcpy(info.modelTag, raw, 4);
    std::memcpy(info.reserved, raw + 4, 4);
    std::memcpy(info.mcuVersion, raw + 8, 4);
    info.imageWords = ReadLE32(raw + 12);
    info.imageChecksum = ReadLE32(raw + 16);
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        info.blocks[i].words = ReadLE32(raw + 20 + 8 * i);
        info.blocks[i].checksum = ReadLE32(raw + 24 + 8 * i);
    }
    info.hardwareType = static_cast<std::int32_t>(ReadLE32(raw + 84));
    std::memcpy(info.btVersion, raw + 88, 4);
    return info;
}

void FirmwareInfo::toBytes(std::uint8_t* out) const
{
    std::memcpy(out, modelTag, 4);
    std::memcpy(out + 4, reserved, 4);
    std::memcpy(out + 8, mcuVersion, 4);
    WriteLE32(imageWords, out + 12);
    WriteLE32(imageChecksum, out + 16);
    for (std::size_t i = 0; i < kBlockCount; ++i) {
        WriteLE32(blocks[i].words, out + 20 + 8 * i);
        WriteLE32(blocks[i].checksum, out + 24 + 8 * i);
    }
    WriteLE32(static_cast<std::uint32_t>(hardwareType), out + 84);
    std::memcpy(out + 88, btVersion, 4);
}

std::string FirmwareInfo::btVersionText() const
{
    std::size_t n = 0;
    while (n < sizeof btVersion && btVersion[n] != 0)
        ++n;
    return std::string(btVersion, n);
}

std::uint32_t ImageChecksum(const std::uint8_t* image, std::size_t length, std::uint32_t words)
{
    return SumWords(image, length, 0, words);
}

std::uint32_t BlockChecksum(const std::uint8_t* image, std::size_t length, std::size_t firstWord, std::uint32_t words)
{
    return SumWords(image, length, firstWord, words);
}

} // namespace bootloader
