#pragma once

#include <juce_graphics/juce_graphics.h>

#include <string>

// The window's named texts, fonts and colours, built once at start-up and
// read-only afterwards. Texts are UTF-8; turn them into juce::String with
// the std::string constructor, compare captions with them byte for byte.
namespace constant {

extern const std::string k_title;
extern const std::string k_subtitle;
extern const std::string k_connectButtonText;
extern const std::string k_promptTitle;
extern const std::string k_promptSubtitle;
extern const std::string k_goBackButtonText;
extern const std::string k_successTitle;
extern const std::string k_successSubtitle;
extern const std::string k_doneButtonText;
extern const std::string k_alreadyLatestTitle;
extern const std::string k_upToDateSubtitle;
extern const std::string k_failedButtonText;
extern const std::string k_updateFailedSubtitle;
extern const std::string k_cancelInstallSubtitle;
extern const std::string k_pythonTimedOutSubtitle;
extern const std::string k_pythonFailedSubtitle;
extern const std::string k_noMidiDeviceSubtitle;
extern const std::string k_installBLETimedOutSubtitle;
extern const std::string k_wrongDeviceTitle;
extern const std::string k_wrongDevice25Subtitle;
extern const std::string k_wrongDeviceZeSubtitle;
extern const std::string k_download25UpdaterButtonText;
extern const std::string k_downloadZeUpdaterButtonText;
extern const std::string CONNECT_FAIL_MSG;

// One of the window's fonts, made (all four at once) on first use: JUCE's own
// statics, its string pool and font list among them, are not ready while the
// program's statics are initialised. Reads as a const juce::Font&.
class FontConstant {
public:
    using Getter = const juce::Font& (*)();
    constexpr explicit FontConstant(Getter fontGetter) : getter(fontGetter) {}

    operator const juce::Font&() const { return getter(); }
    const juce::Font& get() const { return getter(); }
    const juce::Font* operator->() const { return &getter(); }

private:
    Getter getter;
};

extern const FontConstant DEFAULT_TITLE_FONT; // Roboto Medium 30
extern const FontConstant DEFAULT_TEXT_FONT;  // Roboto Medium 14
extern const FontConstant EDIT_TEXT_FONT;     // Roboto Regular 16
extern const FontConstant EDIT_LABEL_FONT;    // Roboto Bold 14

inline const juce::Colour NORMAL_TEXT_COLOUR{0xFFC8C8C8};
inline const juce::Colour LABEL_TEXT_COLOUR{0xFF787878};
inline const juce::Colour RED_TEXT_COLOUR{0xFFE40009};
inline const juce::Colour SPLITTER_LINE_COLOUR{0x80424242};
inline const juce::Colour TOAST_BACKGROUND_COLOUR{0xFF404040};

} // namespace constant
