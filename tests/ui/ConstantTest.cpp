#include "BinaryData.h"
#include "Constant.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct TextCase {
    const char* name;
    const std::string& text;
    int characters;
};

// Character counts as the screens show them: code points, line breaks included.
const TextCase textCases[] = {
    {"k_title", constant::k_title, 45},
    {"k_subtitle", constant::k_subtitle, 92},
    {"k_connectButtonText", constant::k_connectButtonText, 11},
    {"k_promptTitle", constant::k_promptTitle, 50},
    {"k_promptSubtitle", constant::k_promptSubtitle, 164},
    {"k_goBackButtonText", constant::k_goBackButtonText, 7},
    {"k_successTitle", constant::k_successTitle, 16},
    {"k_successSubtitle", constant::k_successSubtitle, 169},
    {"k_doneButtonText", constant::k_doneButtonText, 4},
    {"k_alreadyLatestTitle", constant::k_alreadyLatestTitle, 24},
    {"k_upToDateSubtitle", constant::k_upToDateSubtitle, 119},
    {"k_failedButtonText", constant::k_failedButtonText, 16},
    {"k_updateFailedSubtitle", constant::k_updateFailedSubtitle, 205},
    {"k_cancelInstallSubtitle", constant::k_cancelInstallSubtitle, 40},
    {"k_pythonTimedOutSubtitle", constant::k_pythonTimedOutSubtitle, 99},
    {"k_pythonFailedSubtitle", constant::k_pythonFailedSubtitle, 112},
    {"k_noMidiDeviceSubtitle", constant::k_noMidiDeviceSubtitle, 55},
    {"k_installBLETimedOutSubtitle", constant::k_installBLETimedOutSubtitle, 204},
    {"k_wrongDeviceTitle", constant::k_wrongDeviceTitle, 12},
    {"k_wrongDevice25Subtitle", constant::k_wrongDevice25Subtitle, 83},
    {"k_wrongDeviceZeSubtitle", constant::k_wrongDeviceZeSubtitle, 84},
    {"k_download25UpdaterButtonText", constant::k_download25UpdaterButtonText, 10},
    {"k_downloadZeUpdaterButtonText", constant::k_downloadZeUpdaterButtonText, 8},
    {"CONNECT_FAIL_MSG", constant::CONNECT_FAIL_MSG, 74},
};

TEST(ConstantTexts, CharacterCounts)
{
    for (const auto& c : textCases) {
        const juce::String shown{c.text};
        EXPECT_EQ(shown.length(), c.characters) << c.name;
        // Every text is plain ASCII and shown byte for byte.
        EXPECT_EQ(static_cast<int>(c.text.size()), c.characters) << c.name;
        EXPECT_EQ(shown.toStdString(), c.text) << c.name;
    }
}

TEST(ConstantTexts, RoutedCaptionsAreDistinct)
{
    const std::set<std::string> captions{constant::k_connectButtonText,         constant::k_goBackButtonText,
                                         constant::k_doneButtonText,            constant::k_failedButtonText,
                                         constant::k_download25UpdaterButtonText, constant::k_downloadZeUpdaterButtonText};
    EXPECT_EQ(captions.size(), 6u);
    EXPECT_EQ(constant::k_download25UpdaterButtonText, " Download ");
    EXPECT_EQ(constant::k_downloadZeUpdaterButtonText, "Download");
    EXPECT_EQ(juce::String{constant::k_download25UpdaterButtonText}.trim().toStdString(),
              constant::k_downloadZeUpdaterButtonText);
}

TEST(ConstantTexts, BlanksAndLineBreaksBelongToTheTexts)
{
    EXPECT_EQ(constant::k_cancelInstallSubtitle.back(), '\n');
    EXPECT_EQ(constant::k_noMidiDeviceSubtitle.back(), '\n');
    EXPECT_EQ(juce::String{constant::k_noMidiDeviceSubtitle}.getLastCharacter(), '\n');

    const std::string wrongDevice = "This updater is for Kovra TIKO only, \nplease download the Kovra ";
    EXPECT_EQ(constant::k_wrongDevice25Subtitle, wrongDevice + "25 Firmware Updater");
    EXPECT_EQ(constant::k_wrongDeviceZeSubtitle, wrongDevice + "ZE Firmware Updater.");

    EXPECT_EQ(constant::k_title, "Connect to USB,\n then Turn On Your Kovra TIKO");
    // The one line break in it without a blank after it.
    EXPECT_NE(constant::k_installBLETimedOutSubtitle.find("updating.\nIf you still"), std::string::npos);
}

TEST(ConstantTexts, ApostrophesArePlainAscii)
{
    EXPECT_EQ(constant::CONNECT_FAIL_MSG,
              "Can't detect any Kovra Amp. Please check the USB connection and try again.");
    for (const auto& c : textCases)
        for (const unsigned char byte : c.text)
            EXPECT_LT(byte, 0x80) << c.name;
}

struct FontCase {
    const char* name;
    const juce::Font& font;
    const char* style;
    float height;
};

TEST(ConstantFonts, FaceStyleAndHeight)
{
    const FontCase cases[] = {
        {"DEFAULT_TITLE_FONT", constant::DEFAULT_TITLE_FONT, "Medium", 30.0f},
        {"DEFAULT_TEXT_FONT", constant::DEFAULT_TEXT_FONT, "Medium", 14.0f},
        {"EDIT_TEXT_FONT", constant::EDIT_TEXT_FONT, "Regular", 16.0f},
        {"EDIT_LABEL_FONT", constant::EDIT_LABEL_FONT, "Bold", 14.0f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.font.getTypefaceName(), "Roboto") << c.name;
        EXPECT_EQ(c.font.getTypefaceStyle(), c.style) << c.name;
        EXPECT_FLOAT_EQ(c.font.getHeight(), c.height) << c.name;
        EXPECT_FALSE(c.font.isUnderlined()) << c.name;
        EXPECT_FLOAT_EQ(c.font.getHorizontalScale(), 1.0f) << c.name;
        EXPECT_FLOAT_EQ(c.font.getExtraKerningFactor(), 0.0f) << c.name;
        // Made from the embedded bytes: a real face with glyphs, not a fallback.
        juce::Array<int> glyphs;
        juce::Array<float> offsets;
        c.font.getTypefacePtr()->getGlyphPositions("K", glyphs, offsets);
        ASSERT_EQ(glyphs.size(), 1) << c.name;
        juce::Path outline;
        c.font.getTypefacePtr()->getOutlineForGlyph(glyphs[0], outline);
        EXPECT_FALSE(outline.isEmpty()) << c.name;
    }
}

TEST(EmbeddedFonts, EachFaceFromItsOwnBytes)
{
    struct Face {
        const char* data;
        int size;
        const char* style;
    };
    const Face faces[] = {
        {BinaryData::temp_binary_data_10, BinaryData::temp_binary_data_10Size, "Bold"},
        {BinaryData::temp_binary_data_11, BinaryData::temp_binary_data_11Size, "Medium"},
        {BinaryData::temp_binary_data_12, BinaryData::temp_binary_data_12Size, "Regular"},
    };
    for (const auto& f : faces) {
        // A TrueType file: version 1.0 sfnt header.
        EXPECT_EQ(std::string(f.data, 4), std::string("\0\1\0\0", 4)) << f.style;
        const auto face = juce::Typeface::createSystemTypefaceFor(f.data, static_cast<size_t>(f.size));
        EXPECT_EQ(face->getName(), "Roboto") << f.style;
        EXPECT_EQ(face->getStyle(), f.style) << f.style;
    }
    EXPECT_EQ(BinaryData::RobotoBold_ttf, BinaryData::temp_binary_data_10);
    EXPECT_EQ(BinaryData::RobotoMedium_ttf, BinaryData::temp_binary_data_11);
    EXPECT_EQ(BinaryData::RobotoRegular_ttf, BinaryData::temp_binary_data_12);
}

} // namespace
