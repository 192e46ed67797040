#include "device/ble/BLEDownloadThread.h"

#include "device/ble/ZQBLEDeviceContext.h"

#include <pthread.h>

BLEDownloadThread::BLEDownloadThread(ZQBLEDeviceContext* context_)
    : juce::Thread("BLEDownloadThread"), context(context_),
      download(context_ != nullptr && context_->functions ? context_->functions->Download : nullptr)
{
}

BLEDownloadThread::~BLEDownloadThread() = default;

void BLEDownloadThread::run()
{
    // A forced stop must not cancel this thread inside the library: that
    // would leave the library's locks held, and the unwinding that glibc
    // starts ends the process when it reaches JUCE's catch-all around run().
    // The thread is abandoned instead (see ZQBLEFirmwareUpdater).
    int previous = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);

    result = download != nullptr ? download() : ZQBLEFirmwareUpdater::kErrorNoLibrary;
}
