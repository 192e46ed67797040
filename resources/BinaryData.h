#pragma once

// The program's compiled-in resources, read-only, for the life of the
// process. Each array holds its file's bytes and one zero byte after them;
// the used length is the Size constant.
namespace BinaryData {

// MCU firmware images: a Cortex-M vector table first, the firmware
// information block at offset 1024.
extern const char temp_binary_data_8[];
extern const char* Checksumed_kovra_10_speaker_bin; // hardware type 20
const int Checksumed_kovra_10_speaker_binSize = 743249;

extern const char temp_binary_data_9[];
extern const char* Checksumed_kovra_10_speaker_GD32_bin; // hardware type 22
const int Checksumed_kovra_10_speaker_GD32_binSize = 743266;

} // namespace BinaryData
