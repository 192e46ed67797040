#include "device/ble/BLEDownloadThread.h"

#include "device/ble/ZQBLEDeviceContext.h"

BLEDownloadThread::BLEDownloadThread(ZQBLEDeviceContext* context_)
    : juce::Thread("BLEDownloadThread"), context(context_),
      download(context_ != nullptr && context_->functions ? context_->functions->Download : nullptr)
{
}

BLEDownloadThread::~BLEDownloadThread() = default;

void BLEDownloadThread::run() { result = download != nullptr ? download() : ZQBLEFirmwareUpdater::kErrorNoLibrary; }
