#include "tests/support/BareXServer.h"

#include <juce_events/juce_events.h>

#include <X11/Xlib.h>

namespace {

juce::JUCEApplicationBase* noApplication() { return nullptr; }

const char* const kWindowManagerAtoms[] = {"WM_PROTOCOLS",        "WM_TAKE_FOCUS",   "WM_DELETE_WINDOW",
                                           "_NET_WM_PING",        "WM_CHANGE_STATE", "WM_STATE",
                                           "_NET_WM_WINDOW_TYPE", "_NET_WM_STATE",   "_NET_WM_STATE_HIDDEN"};

void internAtoms(Display* display)
{
    for (const char* name : kWindowManagerAtoms)
        XInternAtom(display, name, False);
    XSync(display, False);
}

} // namespace

bool prepareBareXServer()
{
    juce::JUCEApplicationBase::createInstance = &noApplication;

    // Kept open for the whole process: an X server without -noreset forgets
    // its atoms when its last client disconnects.
    static Display* const display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return false;
    internAtoms(display);
    return true;
}

bool createWindowManagerAtoms(const std::string& name)
{
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return false;
    internAtoms(display);
    XCloseDisplay(display);
    return true;
}

bool askWindowToClose(const std::string& name, unsigned long window)
{
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
}
