#pragma once

#include <string>

// Readies this test process for windows on a bare X server (Xvfb, no window
// manager), as the product is on a desktop, before JUCE touches the display:
// - the process counts as a standalone application, so the framework sets
//   Xlib up for threads and handles its errors;
// - the window manager's atoms, which JUCE looks up without creating, are
//   created, and a connection is kept open so that they last.
// Returns false when no X server answers on DISPLAY.
bool prepareBareXServer();

// Creates the window manager's atoms on the X server `display` (":N"), which
// keeps them when it runs with -noreset: a program started there later finds
// them. False when the server does not answer.
bool createWindowManagerAtoms(const std::string& display);

// Asks the X window `window` on `display` to close, as a window manager does
// when its close button is clicked (WM_DELETE_WINDOW).
bool askWindowToClose(const std::string& display, unsigned long window);
