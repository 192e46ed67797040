#include "device/ble/ListenerScope.h"

#include "device/ble/ZQBLEDeviceEventListener.h"

namespace ZQBLE {

ListenerScope::ListenerScope(ZQBLEDeviceEventListener* listener_) : listener(listener_) { g_listener = listener; }

ListenerScope::~ListenerScope() { end(); }

void ListenerScope::end()
{
    if (listener != nullptr)
        clearListener(listener);
    listener = nullptr;
}

} // namespace ZQBLE
