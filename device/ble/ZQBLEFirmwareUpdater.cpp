#include "device/ble/ZQBLEFirmwareUpdater.h"

#include "device/ble/BLEDownloadThread.h"
#include "device/ble/ZQBLE.h"
#include "device/ble/ZQBLEDeviceEventListener.h"
#include "runtime/Clock.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr int kInitializeMode = 2;
constexpr int kRefreshKind = 257;
constexpr std::uint32_t kDownloadTimeoutMs = 30000;

// Download threads whose download outlasted the wait. Their thread may still
// be inside the library and, should the download return at last, write the
// result and end through the object, so they are never destroyed.
void keepAbandoned(std::unique_ptr<BLEDownloadThread> thread)
{
    static std::mutex mutex;
    static auto* abandoned = new std::vector<BLEDownloadThread*>();
    std::lock_guard<std::mutex> lock(mutex);
    abandoned->push_back(thread.release());
}

int waitMs(std::uint32_t productMs)
{
    const auto real = zq::Clock::duration(productMs).count();
    return static_cast<int>(std::max<std::int64_t>(1, (real + 999) / 1000));
}

} // namespace

ZQBLEFirmwareUpdater::ZQBLEFirmwareUpdater(std::unique_ptr<ZQBLEDeviceContext>&& context_)
    : context(std::move(context_))
{
    if (!context)
        return;
    if (context->functions && context->functions->Initialize)
        context->functions->Initialize(kInitializeMode, DeviceCallback);
    const std::string folder = ZQBLE::getBLELibraryPath();
    if (context->functions && context->functions->SetLibPath)
        context->functions->SetLibPath(folder.c_str());
}

std::string ZQBLEFirmwareUpdater::SetFirmwarePath(const std::string& path)
{
    if (!context || context->lib == nullptr || !context->functions)
        return {};
    if (!context->functions->SetFirmwareFile)
        return kRefusedFile;
    char text[ZQBLE_FIRMWARE_TEXT_SIZE] = {};
    if (context->functions->SetFirmwareFile(path.c_str(), text) != 0)
        return kRefusedFile;
    // A library that fills the whole buffer is cut, not read beyond.
    text[sizeof text - 1] = '\0';
    return text;
}

int ZQBLEFirmwareUpdater::UpdateFirmware()
{
    if (!context || context->lib == nullptr)
        return kErrorNoLibrary;
    const ZQBLEDeviceContext::Functions* f = context->functions.get();
    if (f == nullptr || !f->SetConfiguration || !f->RefreshDevice)
        return kErrorNoModule;

    f->SetConfiguration("PRODUCTION", "1");
    f->SetConfiguration("FLASH_ERASE", "1");
    f->SetConfiguration("RESTART", "1");
    if (f->RefreshDevice(kRefreshKind) != 1)
        return kErrorNoModule;

    auto thread = std::make_unique<BLEDownloadThread>(context.get());
    thread->startThread();
    if (thread->waitForThreadToExit(waitMs(kDownloadTimeoutMs)))
        return thread->result;

    // The thread is not stopped by force: cancelled inside the library it
    // would leave the library's locks held, and its unwinding would end the
    // process at JUCE's catch-all around run(). The wait just ends; the
    // thread is left to finish, and the library kept loaded for it.
    context->keepLoaded = true;
    const int result = thread->result;
    keepAbandoned(std::move(thread));
    return result;
}
