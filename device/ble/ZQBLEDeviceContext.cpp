#include "device/ble/ZQBLEDeviceContext.h"

#include "device/ble/RunFolder.h"
#include "device/ble/ZQBLE.h"

#include <dlfcn.h>

#include <string>

namespace {

template <typename Fn>
void lookUp(void* lib, const char* name, Fn& entry)
{
    entry = reinterpret_cast<Fn>(dlsym(lib, name));
}

} // namespace

ZQBLEDeviceContext::ZQBLEDeviceContext()
{
    RunFolder::acquire();
    const std::string folder = ZQBLE::getBLELibraryPath();
    if (folder.empty())
        return;
    lib = dlopen((folder + "/" + ZQBLE::libraryFileName).c_str(), RTLD_LAZY);
    if (lib == nullptr)
        return;

    functions = std::make_unique<Functions>();
    lookUp(lib, "Initialize", functions->Initialize);
    lookUp(lib, "SetLibPath", functions->SetLibPath);
    lookUp(lib, "RefreshDevice", functions->RefreshDevice);
    lookUp(lib, "SetFirmwareFile", functions->SetFirmwareFile);
    lookUp(lib, "SetConfiguration", functions->SetConfiguration);
    lookUp(lib, "GetConfiguration", functions->GetConfiguration);
    lookUp(lib, "Download", functions->Download);
    lookUp(lib, "Release", functions->Release);
}

ZQBLEDeviceContext::~ZQBLEDeviceContext()
{
    if (lib != nullptr) {
        if (functions && functions->Release)
            functions->Release();
        if (!keepLoaded)
            dlclose(lib);
    }
    // A mapped library survives the deletion of its file. Only this run's
    // folder goes: another instance may be using the cache folder.
    RunFolder::release();
    functions.reset();
}
