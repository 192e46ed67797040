#include "BareXServer.h"

#include <juce_events/juce_events.h>

#include <X11/Xlib.h>

#include <initializer_list>

namespace {

juce::JUCEApplicationBase* noApplication() { return nullptr; }

} // namespace

bool prepareBareXServer()
{
    juce::JUCEApplicationBase::createInstance = &noApplication;

    // Kept open for the whole process: an X server without -noreset forgets
    // its atoms when its last client disconnects.
    static Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    for (const char* name : {"WM_PROTOCOLS", "WM_TAKE_FOCUS", "WM_DELETE_WINDOW", "_NET_WM_PING", "WM_CHANGE_STATE",
                             "WM_STATE", "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN"})
        XInternAtom(display, name, False);
    XSync(display, False);
    return true;
}
