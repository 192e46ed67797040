#pragma once

// The program's compiled-in resources, read-only, for the life of the
// process. Each array holds its file's bytes and one zero byte after them;
// the used length is the Size constant.
//
// The Size constants are generated with the build, in BinaryDataSizes.h:
//   temp_binary_data_10Size, _11Size, _12Size   the three Roboto faces, from
//                                                the files it embeds
//   temp_binary_data_0Size .. _5Size, _13Size    the pictures (drawn by the
//                                                build, kovra_make_pictures)
//   Checksumed_kovra_10_speaker_binSize,         the MCU images, the lengths
//   Checksumed_kovra_10_speaker_GD32_binSize     it generates them with
#include "kovra_generated/BinaryDataSizes.h"

namespace BinaryData {

// Pictures: PNG, 8 bits per channel with alpha, transparent surroundings.
// Decode with juce::ImageFileFormat::loadFrom(array, arraySize).
extern const char temp_binary_data_0[]; // 48 x 48 error badge
extern const char* error_badge_png;
extern const char temp_binary_data_1[]; // 48 x 48 success badge
extern const char* success_badge_png;
extern const char temp_binary_data_2[]; // 48 x 48 update badge
extern const char* update_badge_png;
extern const char temp_binary_data_3[]; // 342 x 552 connect picture
extern const char* connect_png;
extern const char temp_binary_data_4[]; // 290 x 552 prompt picture
extern const char* prompt_png;
extern const char temp_binary_data_5[]; // 238 x 278 installer picture
extern const char* installer_png;
extern const char temp_binary_data_13[]; // 238 x 278 amplifier picture
extern const char* amplifier_png;

// Roboto TrueType faces, as installed by fonts-roboto-unhinted.
extern const char temp_binary_data_10[]; // Bold
extern const char* RobotoBold_ttf;
extern const char temp_binary_data_11[]; // Medium
extern const char* RobotoMedium_ttf;
extern const char temp_binary_data_12[]; // Regular
extern const char* RobotoRegular_ttf;

// MCU firmware images: a Cortex-M vector table first, the firmware
// information block at offset 1024.
extern const char temp_binary_data_8[];
extern const char* Checksumed_kovra_10_speaker_bin; // hardware type 20

extern const char temp_binary_data_9[];
extern const char* Checksumed_kovra_10_speaker_GD32_bin; // hardware type 22

} // namespace BinaryData
