#include "device/bootloader/FirmwareInfo.h"
#include "resources/BinaryData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <vector>

using bootloader::FirmwareInfo;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Word(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
           | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

TEST(FirmwareInfo, LittleEndianFieldsAtTheirOffsets)
{
    Bytes raw(FirmwareInfo::kSize);
    std::iota(raw.begin(), raw.end(), std::uint8_t(1));
    const FirmwareInfo info = FirmwareInfo::fromBytes(raw.data(), raw.size());
    EXPECT_EQ(std::string(info.modelTag, 4), "\x01\x02\x03\x04");
    EXPECT_EQ(info.mcuVersion[0], 9);
    EXPECT_EQ(info.mcuVersion[3], 12);
    EXPECT_EQ(info.imageWords, 0x100F0E0Du);
    EXPECT_EQ(info.imageChecksum, 0x14131211u);
    EXPECT_EQ(info.blocks[0].words, 0x18171615u);
    EXPECT_EQ(info.blocks[7].checksum, 0x54535251u);
    EXPECT_EQ(info.hardwareType, 0x58575655);
    EXPECT_EQ(info.btVersionText(), "YZ[\\");

    Bytes back(FirmwareInfo::kSize);
    info.toBytes(back.data());
    EXPECT_EQ(back, raw);

    raw[84] = 0xFE, raw[85] = 0xFF, raw[86] = 0xFF, raw[87] = 0xFF;
    EXPECT_EQ(FirmwareInfo::fromBytes(raw.data(), raw.size()).hardwareType, -2);
}

TEST(FirmwareInfo, ShortInputLeavesTheRestZero)
{
    const Bytes raw{'T', 'I', 'K', 'O', 0, 0, 0, 0, 1, 11};
    const FirmwareInfo info = FirmwareInfo::fromBytes(raw.data(), raw.size());
    Bytes bytes(FirmwareInfo::kSize, 0xAA);
    info.toBytes(bytes.data());
    Bytes expected(FirmwareInfo::kSize, 0);
    std::copy(raw.begin(), raw.end(), expected.begin());
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(FirmwareInfo::fromBytes(nullptr, 0).hardwareType, 0);
    EXPECT_EQ(info.btVersionText(), "");
}

TEST(FirmwareInfo, ChecksumsSkipTheBlockAndReadPastTheEndAsZero)
{
    Bytes image(2000, 0);
    for (std::size_t w = 0; w < image.size() / 4; ++w)
        image[4 * w] = 1; // every word is 1
    // 500 words, of which the 23 of the block do not count.
    EXPECT_EQ(bootloader::ImageChecksum(image.data(), image.size(), 500), 477u);
    EXPECT_EQ(bootloader::ImageChecksum(image.data(), image.size(), 256), 256u);
    EXPECT_EQ(bootloader::ImageChecksum(image.data(), image.size(), 900), 477u);
    image.push_back(0x07); // a partial word counts zero-padded
    EXPECT_EQ(bootloader::BlockChecksum(image.data(), image.size(), 490, 100), 10u + 7u);
    image[FirmwareInfo::kImageOffset + 4] = 0xFF;
    EXPECT_EQ(bootloader::BlockChecksum(image.data(), image.size(), 0, 4096), 477u + 7u);
}

struct CompiledImage {
    const char* name;
    const char* bytes;
    int size;
    std::int32_t hardwareType;
    const char* file;
};

class CompiledImages : public ::testing::TestWithParam<CompiledImage> {};

TEST_P(CompiledImages, CarryTheirBlockAndAVectorTable)
{
    const CompiledImage& c = GetParam();
    const auto* image = reinterpret_cast<const std::uint8_t*>(c.bytes);
    const auto size = static_cast<std::size_t>(c.size);

    // Cortex-M vector table: stack pointer in SRAM, odd (Thumb) handler
    // addresses inside the image.
    EXPECT_EQ(Word(image) & 0xFF000003u, 0x20000000u);
    const std::uint32_t base = 0x08008000u; // where the images are linked
    for (int vector = 1; vector < 16 + 68; ++vector) {
        const std::uint32_t handler = Word(image + 4 * vector);
        if ((vector >= 7 && vector <= 10) || vector == 13) {
            EXPECT_EQ(handler, 0u) << vector;
            continue;
        }
        EXPECT_EQ(handler & 1u, 1u) << vector;
        EXPECT_GE(handler, base) << vector;
        EXPECT_LT(handler - 1 - base, size) << vector;
    }

    const FirmwareInfo info = FirmwareInfo::fromBytes(image + FirmwareInfo::kImageOffset, FirmwareInfo::kSize);
    EXPECT_EQ(std::string(info.modelTag, 4), "TIKO");
    EXPECT_EQ(Word(info.reserved), 0u);
    EXPECT_EQ(Bytes(info.mcuVersion, info.mcuVersion + 4), (Bytes{1, 11, 2, 75}));
    EXPECT_EQ(info.imageWords, size / 4);
    EXPECT_EQ(info.imageChecksum, bootloader::ImageChecksum(image, size, info.imageWords));
    std::size_t first = 0;
    for (std::size_t i = 0; i < FirmwareInfo::kBlockCount; ++i) {
        EXPECT_EQ(info.blocks[i].words, bootloader::kImageBlockWords[i]);
        EXPECT_EQ(info.blocks[i].checksum, bootloader::BlockChecksum(image, size, first, info.blocks[i].words)) << i;
        first += info.blocks[i].words;
    }
    EXPECT_EQ(info.hardwareType, c.hardwareType);
    EXPECT_EQ(info.btVersionText(), "0107");

    // The arrays end in a zero beyond the used length, as JUCE's do; the
    // build leaves the same bytes in its firmware folder.
    EXPECT_EQ(c.bytes[c.size], 0);
    EXPECT_EQ(ReadFile(std::string(KOVRA_FIRMWARE_DIR) + "/" + c.file), Bytes(image, image + size));
}

INSTANTIATE_TEST_SUITE_P(Both, CompiledImages,
                         ::testing::Values(CompiledImage{"standard", BinaryData::Checksumed_kovra_10_speaker_bin,
                                                         BinaryData::Checksumed_kovra_10_speaker_binSize, 20,
                                                         "Checksumed_kovra_10_speaker.bin"},
                                           CompiledImage{"GD32", BinaryData::Checksumed_kovra_10_speaker_GD32_bin,
                                                         BinaryData::Checksumed_kovra_10_speaker_GD32_binSize, 22,
                                                         "Checksumed_kovra_10_speaker_GD32.bin"}),
                         [](const ::testing::TestParamInfo<CompiledImage>& p) { return std::string(p.param.name); });

TEST(CompiledImages, FixedLengthsAndArrays)
{
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_binSize, 743249);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_GD32_binSize, 743266);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_bin, BinaryData::temp_binary_data_8);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_GD32_bin, BinaryData::temp_binary_data_9);
    EXPECT_NE(std::memcmp(BinaryData::temp_binary_data_8 + 2048, BinaryData::temp_binary_data_9 + 2048, 1024), 0);
}
