#pragma once

// The window's pictures by what they show, each a PNG's bytes and its used
// length, so that a call site cannot pair one array with another's length.
#include "resources/BinaryData.h"

namespace resources {

struct Picture {
    const char* data;
    int size;
};

inline Picture errorBadgePicture() { return {BinaryData::temp_binary_data_0, BinaryData::temp_binary_data_0Size}; }
inline Picture successBadgePicture() { return {BinaryData::temp_binary_data_1, BinaryData::temp_binary_data_1Size}; }
inline Picture updateBadgePicture() { return {BinaryData::temp_binary_data_2, BinaryData::temp_binary_data_2Size}; }
inline Picture connectPicture() { return {BinaryData::temp_binary_data_3, BinaryData::temp_binary_data_3Size}; }
inline Picture promptPicture() { return {BinaryData::temp_binary_data_4, BinaryData::temp_binary_data_4Size}; }
inline Picture installerPicture() { return {BinaryData::temp_binary_data_5, BinaryData::temp_binary_data_5Size}; }
inline Picture amplifierPicture() { return {BinaryData::temp_binary_data_13, BinaryData::temp_binary_data_13Size}; }

} // namespace resources
