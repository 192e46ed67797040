#pragma once

class ZQBLEDeviceEventListener;

namespace ZQBLE {

// Makes a listener g_listener for as long as the scope lives, or until end():
// then events stop reaching it as with clearListener.
class ListenerScope {
public:
    explicit ListenerScope(ZQBLEDeviceEventListener* listener);
    ~ListenerScope();

    ListenerScope(const ListenerScope&) = delete;
    ListenerScope& operator=(const ListenerScope&) = delete;

    // Stops the events before the scope ends; the end of the scope then does
    // nothing more.
    void end();

private:
    ZQBLEDeviceEventListener* listener;
};

} // namespace ZQBLE
