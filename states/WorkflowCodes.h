#pragma once

#include <cstdint>

// How the window's workflow ends: the result page's kind and code
// (UpdateResultAppState). Each has its one name here, so that a search for
// the name finds every place that makes it.
namespace workflow {

// The result page's kinds.
constexpr std::int32_t kResultUpdated = 0;
constexpr std::int32_t kResultAlreadyLatest = 1;
constexpr std::int32_t kResultFailed = 2;
constexpr std::int32_t kResultWrongDevice = 3;

// A wrong device's code: the sibling model found.
constexpr std::int32_t kSibling25 = 1; // the Kovra 25
constexpr std::int32_t kSiblingZe = 2; // the Kovra ZE

// The other kinds' codes. A failure's code may also be a session's error
// (FirmwareUpdateSession, DownloadFirmwareVersionSession) or the Bluetooth
// library's (ZQBLEFirmwareUpdater::UpdateFirmware, among them
// kErrorDownloadTimeout, which the page shows as an incomplete update).
constexpr std::int32_t kSucceeded = 0;
constexpr std::int32_t kNoBluetoothLibrary = -3;      // SetFirmwarePath gave the empty text
constexpr std::int32_t kPythonInstallCancelled = -10; // the Python page's "Cancel"
constexpr std::int32_t kInstallerTimedOut = -11;      // killed at its limit, without "successful"
constexpr std::int32_t kWorkerFailed = -12;           // a worker stopped on an unexpected exception
constexpr std::int32_t kInstallerNotStarted = -13;
constexpr std::int32_t kInstallerFailed = -14;         // ended without "successful"
constexpr std::int32_t kAmplifierNotBack = -15;        // Python ready, but no device after the wait
constexpr std::int32_t kIdentityUnanswered = -16;      // the model name or serial number query got no reply
constexpr std::int32_t kBluetoothFileRefused = -65535; // SetFirmwarePath gave ZQBLEFirmwareUpdater::kRefusedFile

} // namespace workflow
