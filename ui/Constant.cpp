#include "ui/Constant.h"

#include "resources/BinaryData.h"

namespace constant {

// Written exactly as shown on screen: the blanks after line breaks, the
// trailing blanks and line breaks all belong to the texts.
const std::string k_title{"Connect to USB,\n then Turn On Your Kovra TIKO"};
const std::string k_subtitle{
    "Make sure the Kovra TIKO is turned off\n before connecting to your computer with a USB cable."};
const std::string k_connectButtonText{"OK. Go Next"};
const std::string k_promptTitle{"Long Press PAIR and POWER\n Buttons to Start Update"};
const std::string k_promptSubtitle{
    "Press and hold the PAIR and POWER buttons until\n the preset LEDs start to blink. You will be taken to the\n next screen to confirm before proceeding with the update."};
const std::string k_goBackButtonText{"Go Back"};
const std::string k_successTitle{"Firmware Updated"};
const std::string k_successSubtitle{
    "Kovra TIKO has been successfully updated to the latest firmware. Kovra TIKO turns off automatically after a successful firmware update. Turn it back on to start playing!"};
const std::string k_doneButtonText{"Done"};
const std::string k_alreadyLatestTitle{"Kovra TIKO is Up-to-Date"};
const std::string k_upToDateSubtitle{
    "Kovra TIKO is running the most recent firmware version, there are no updates available. Plug back in and start playing!"};
const std::string k_failedButtonText{"Exit & Try Again"};
const std::string k_updateFailedSubtitle{
    "Something went wrong during the update process, please disconnect the USB cable, then long press the power button for 10s to force shut down Kovra TIKO. Then reboot the Kovra TIKO and updater to try again."};
const std::string k_cancelInstallSubtitle{"The installation was cancelled by user.\n"};
const std::string k_pythonTimedOutSubtitle{
    "Python installation timeout, please try again.\n The installation of Kovra Firmware will be aborted."};
const std::string k_pythonFailedSubtitle{
    "Python installation can not be completed, please try again.\n The installation of Kovra Firmware will be aborted."};
const std::string k_noMidiDeviceSubtitle{"Kovra Firmware installation timeout, please try again.\n"};
const std::string k_installBLETimedOutSubtitle{
    "Please reopen the updater and\n follow the process again to complete Bluetooth updating.\nIf you still see this message, please visit our help center and\n contact our support team for detailed instructions."};
const std::string k_wrongDeviceTitle{"Wrong Device"};
const std::string k_wrongDevice25Subtitle{
    "This updater is for Kovra TIKO only, \nplease download the Kovra 25 Firmware Updater"};
const std::string k_wrongDeviceZeSubtitle{
    "This updater is for Kovra TIKO only, \nplease download the Kovra ZE Firmware Updater."};
const std::string k_download25UpdaterButtonText{" Download "};
const std::string k_downloadZeUpdaterButtonText{"Download"};
const std::string CONNECT_FAIL_MSG{"Can't detect any Kovra Amp. Please check the USB connection and try again."};

namespace {

// The face comes from the embedded bytes, never from the fonts installed on
// the machine, so every system draws the same Roboto.
juce::Font makeFont(const char* data, int size, float height)
{
    juce::Font font{juce::Typeface::createSystemTypefaceFor(data, static_cast<size_t>(size))};
    font.setHeight(height);
    return font;
}

struct Fonts {
    juce::Font title = makeFont(BinaryData::temp_binary_data_11, BinaryData::temp_binary_data_11Size, 30.0f);
    juce::Font text = makeFont(BinaryData::temp_binary_data_11, BinaryData::temp_binary_data_11Size, 14.0f);
    juce::Font editText = makeFont(BinaryData::temp_binary_data_12, BinaryData::temp_binary_data_12Size, 16.0f);
    juce::Font editLabel = makeFont(BinaryData::temp_binary_data_10, BinaryData::temp_binary_data_10Size, 14.0f);
};

// Made once, by whichever thread reads a font first; released at exit.
const Fonts& fonts()
{
    static const Fonts made;
    return made;
}

const juce::Font& titleFont() { return fonts().title; }
const juce::Font& textFont() { return fonts().text; }
const juce::Font& editTextFont() { return fonts().editText; }
const juce::Font& editLabelFont() { return fonts().editLabel; }

} // namespace

const FontConstant DEFAULT_TITLE_FONT{titleFont};
const FontConstant DEFAULT_TEXT_FONT{textFont};
const FontConstant EDIT_TEXT_FONT{editTextFont};
const FontConstant EDIT_LABEL_FONT{editLabelFont};

} // namespace constant
