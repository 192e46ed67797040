#include "resources/BinaryData.h"
#include "ui/Constant.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

struct TextCase {
    const char* name;
    const std::string& text;
    const char* shown; // as the screens show it
    int characters;
};

// Character counts as the screens show them: code points, line breaks included.
const TextCase textCases[] = {
    {"k_title", constant::k_title, "Connect to USB,\n then Turn On Your Kovra TIKO", 45},
    {"k_subtitle", constant::k_subtitle,
     "Make sure the Kovra TIKO is turned off\n before connecting to your computer with a USB cable.", 92},
    {"k_connectButtonText", constant::k_connectButtonText, "OK. Go Next", 11},
    {"k_promptTitle", constant::k_promptTitle, "Long Press PAIR and POWER\n Buttons to Start Update", 50},
    {"k_promptSubtitle", constant::k_promptSubtitle,
     "Press and hold the PAIR and POWER buttons until\n the preset LEDs start to blink. You will be taken to the\n next screen to confirm before proceeding with the update.",
     164},
    {"k_goBackButtonText", constant::k_goBackButtonText, "Go Back", 7},
    {"k_successTitle", constant::k_successTitle, "Firmware Updated", 16},
    {"k_successSubtitle", constant::k_successSubtitle,
     "Kovra TIKO has been successfully updated to the latest firmware. Kovra TIKO turns off automatically after a successful firmware update. Turn it back on to start playing!",
     169},
    {"k_doneButtonText", constant::k_doneButtonText, "Done", 4},
    {"k_alreadyLatestTitle", constant::k_alreadyLatestTitle, "Kovra TIKO is Up-to-Date", 24},
    {"k_upToDateSubtitle", constant::k_upToDateSubtitle,
     "Kovra TIKO is running the most recent firmware version, there are no updates available. Plug back in and start playing!",
     119},
    {"k_failedButtonText", constant::k_failedButtonText, "Exit & Try Again", 16},
    {"k_updateFailedSubtitle", constant::k_updateFailedSubtitle,
     "Something went wrong during the update process, please disconnect the USB cable, then long press the power button for 10s to force shut down Kovra TIKO. Then reboot the Kovra TIKO and updater to try again.",
     205},
    {"k_cancelInstallSubtitle", constant::k_cancelInstallSubtitle, "The installation was cancelled by user.\n", 40},
    {"k_pythonTimedOutSubtitle", constant::k_pythonTimedOutSubtitle,
     "Python installation timeout, please try again.\n The installation of Kovra Firmware will be aborted.", 99},
    {"k_pythonFailedSubtitle", constant::k_pythonFailedSubtitle,
     "Python installation can not be completed, please try again.\n The installation of Kovra Firmware will be aborted.",
     112},
    {"k_noMidiDeviceSubtitle", constant::k_noMidiDeviceSubtitle,
     "Kovra Firmware installation timeout, please try again.\n", 55},
    {"k_installBLETimedOutSubtitle", constant::k_installBLETimedOutSubtitle,
     "Please reopen the updater and\n follow the process again to complete Bluetooth updating.\nIf you still see this message, please visit our help center and\n contact our support team for detailed instructions.",
     204},
    {"k_wrongDeviceTitle", constant::k_wrongDeviceTitle, "Wrong Device", 12},
    {"k_wrongDevice25Subtitle", constant::k_wrongDevice25Subtitle,
     "This updater is for Kovra TIKO only, \nplease download the Kovra 25 Firmware Updater", 83},
    {"k_wrongDeviceZeSubtitle", constant::k_wrongDeviceZeSubtitle,
     "This updater is for Kovra TIKO only, \nplease download the Kovra ZE Firmware Updater.", 84},
    {"k_download25UpdaterButtonText", constant::k_download25UpdaterButtonText, " Download ", 10},
    {"k_downloadZeUpdaterButtonText", constant::k_downloadZeUpdaterButtonText, "Download", 8},
    {"CONNECT_FAIL_MSG", constant::CONNECT_FAIL_MSG,
     "Can't detect any Kovra Amp. Please check the USB connection and try again.", 74},
};

TEST(ConstantTexts, ByteForByteAndCharacterCounts)
{
    for (const auto& c : textCases) {
        EXPECT_EQ(c.text, std::string(c.shown)) << c.name;
        const juce::String shown{c.text};
        EXPECT_EQ(shown.length(), c.characters) << c.name;
        // Every text is plain ASCII and shown byte for byte.
        EXPECT_EQ(static_cast<int>(c.text.size()), c.characters) << c.name;
        EXPECT_EQ(shown.toStdString(), c.text) << c.name;
    }
}

TEST(ConstantColours, ByValue)
{
    const struct {
        const char* name;
        const juce::Colour& colour;
        juce::uint32 argb;
    } cases[] = {
        {"NORMAL_TEXT_COLOUR", constant::NORMAL_TEXT_COLOUR, 0xFFC8C8C8},
        {"LABEL_TEXT_COLOUR", constant::LABEL_TEXT_COLOUR, 0xFF787878},
        {"RED_TEXT_COLOUR", constant::RED_TEXT_COLOUR, 0xFFE40009},
        {"SPLITTER_LINE_COLOUR", constant::SPLITTER_LINE_COLOUR, 0x80424242}, // half transparent
        {"TOAST_BACKGROUND_COLOUR", constant::TOAST_BACKGROUND_COLOUR, 0xFF404040},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.colour.getARGB(), c.argb) << c.name;
}

TEST(ConstantTexts, RoutedCaptionsAreDistinct)
{
    const std::set<std::string> captions{constant::k_connectButtonText,
                                         constant::k_goBackButtonText,
                                         constant::k_doneButtonText,
                                         constant::k_failedButtonText,
                                         constant::k_download25UpdaterButtonText,
                                         constant::k_downloadZeUpdaterButtonText};
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
    EXPECT_EQ(constant::CONNECT_FAIL_MSG, "Can't detect any Kovra Amp. Please check the USB connection and try again.");
    for (const auto& c : textCases)
        for (const char byte : c.text)
            EXPECT_LT(static_cast<unsigned char>(byte), 0x80) << c.name;
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
