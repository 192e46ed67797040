#include "resources/BinaryData.h"
#include "resources/Picture.h"

#include <juce_graphics/juce_graphics.h>

#include <gtest/gtest.h>

namespace {

struct PictureCase {
    const char* name;
    const char* data;
    int size;
    int width;
    int height;
};

const PictureCase pictures[] = {
    {"error badge", BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size, 48, 48},
    {"success badge", BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size, 48, 48},
    {"update badge", BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size, 48, 48},
    {"connect", BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size, 342, 552},
    {"prompt", BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size, 290, 552},
    {"installer", BinaryData::temp_binary_data_5, BinaryData::temp_binary_data_5Size, 238, 278},
    {"amplifier", BinaryData::temp_binary_data_13, BinaryData::temp_binary_data_13Size, 238, 278},
};

std::uint32_t bigEndian32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

TEST(Pictures, DecodeToTheirSizeWithTransparentCorners)
{
    for (const auto& p : pictures) {
        const auto image = juce::ImageFileFormat::loadFrom(p.data, static_cast<size_t>(p.size));
        ASSERT_TRUE(image.isValid()) << p.name;
        EXPECT_EQ(image.getWidth(), p.width) << p.name;
        EXPECT_EQ(image.getHeight(), p.height) << p.name;
        EXPECT_TRUE(image.hasAlphaChannel()) << p.name;
        const int right = p.width - 1, bottom = p.height - 1;
        for (const auto& [x, y] : {std::pair{0, 0}, {right, 0}, {0, bottom}, {right, bottom}})
            EXPECT_EQ(image.getPixelAt(x, y).getAlpha(), 0) << p.name << " at " << x << "," << y;
        // Something is drawn in the middle.
        EXPECT_GT(image.getPixelAt(p.width / 2, p.height / 2).getAlpha(), 0) << p.name;
    }
}

TEST(Pictures, AreNonInterlacedRgbaPngAtEightBits)
{
    for (const auto& p : pictures) {
        ASSERT_GT(p.size, 33) << p.name;
        EXPECT_EQ(std::string(p.data, 8), "\x89PNG\r\n\x1a\n") << p.name;
        EXPECT_EQ(std::string(p.data + 12, 4), "IHDR") << p.name;
        EXPECT_EQ(bigEndian32(p.data + 16), static_cast<std::uint32_t>(p.width)) << p.name;
        EXPECT_EQ(bigEndian32(p.data + 20), static_cast<std::uint32_t>(p.height)) << p.name;
        EXPECT_EQ(p.data[24], 8) << p.name << ": bit depth";
        EXPECT_EQ(p.data[25], 6) << p.name << ": colour type RGBA";
        EXPECT_EQ(p.data[28], 0) << p.name << ": interlace";
        // The used length ends exactly with the IEND chunk.
        EXPECT_EQ(std::string(p.data + p.size - 8, 4), "IEND") << p.name;
    }
}

TEST(Pictures, BadgesAreWhiteDiscsWithTheirMarkColour)
{
    struct Badge {
        const char* name;
        const char* data;
        int size;
        juce::Colour mark;
    };
    const Badge badges[] = {
        {"error", BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size, juce::Colour{0xFFE02020}},
        {"success", BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size, juce::Colour{0xFF00B259}},
        {"update", BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size, juce::Colour{0xFF101010}},
    };
    for (const auto& b : badges) {
        const auto image = juce::ImageFileFormat::loadFrom(b.data, static_cast<size_t>(b.size));
        EXPECT_EQ(image.getPixelAt(24, 2), juce::Colour{0xFFFFFFFF}) << b.name;
        int markPixels = 0;
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x)
                markPixels += image.getPixelAt(x, y) == b.mark ? 1 : 0;
        EXPECT_GT(markPixels, 40) << b.name;
    }
}

// Each named picture is its own array with that array's length: a swap of
// the two 238 x 278 pictures or of two badges would show no other way.
TEST(Pictures, NamedAccessorsGiveTheirArrayAndLength)
{
    struct Named {
        const char* name;
        resources::Picture picture;
        const char* data;
        int size;
    };
    const Named named[] = {
        {"error badge", resources::errorBadgePicture(), BinaryData::temp_binary_data_0,
         BinaryData::temp_binary_data_0Size},
        {"success badge", resources::successBadgePicture(), BinaryData::temp_binary_data_1,
         BinaryData::temp_binary_data_1Size},
        {"update badge", resources::updateBadgePicture(), BinaryData::temp_binary_data_2,
         BinaryData::temp_binary_data_2Size},
        {"connect", resources::connectPicture(), BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size},
        {"prompt", resources::promptPicture(), BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size},
        {"installer", resources::installerPicture(), BinaryData::temp_binary_data_5,
         BinaryData::temp_binary_data_5Size},
        {"amplifier", resources::amplifierPicture(), BinaryData::temp_binary_data_13,
         BinaryData::temp_binary_data_13Size},
    };
    for (const auto& n : named) {
        EXPECT_EQ(n.picture.data, n.data) << n.name;
        EXPECT_EQ(n.picture.size, n.size) << n.name;
    }
}

TEST(FirmwareImages, KeepTheirLengths)
{
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_binSize, 743249);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_GD32_binSize, 743266);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_bin, BinaryData::temp_binary_data_8);
    EXPECT_EQ(BinaryData::Checksumed_kovra_10_speaker_GD32_bin, BinaryData::temp_binary_data_9);
}

} // namespace
