#pragma once

// Readies this test process for windows on a bare X server (Xvfb, no window
// manager), as the product is on a desktop, before JUCE touches the display:
// - the process counts as a standalone application, so the framework sets
//   Xlib up for threads and handles its errors;
// - the window manager's atoms, which JUCE looks up without creating, are
//   created, and a connection is kept open so that they last.
// Returns false when no X server answers on DISPLAY.
bool prepareBareXServer();
