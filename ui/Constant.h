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

extern const juce::Font DEFAULT_TITLE_FONT;
extern const juce::Font DEFAULT_TEXT_FONT;
extern const juce::Font EDIT_TEXT_FONT;
extern const juce::Font EDIT_LABEL_FONT;

inline const juce::Colour NORMAL_TEXT_COLOUR{0xFFC8C8C8};
inline const juce::Colour LABEL_TEXT_COLOUR{0xFF787878};
inline const juce::Colour RED_TEXT_COLOUR{0xFFE40009};
inline const juce::Colour SPLITTER_LINE_COLOUR{0x80424242};
inline const juce::Colour TOAST_BACKGROUND_COLOUR{0xFF404040};

} // namespace constant
