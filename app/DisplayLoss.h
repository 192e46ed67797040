#pragma once

// The display's server going away (a logout, a crashed or killed server).
// By default the framework then stops its event loop at once and Xlib ends
// the program with status 1, in the middle of an update too.
namespace DisplayLoss {

// Message thread, once the framework has opened its display. From then on
// the server's end only calls `onLoss`, once, on whichever thread met it
// (inside the windowing library: it may only post), and the program goes on
// without its window, whose drawing and calls then do nothing. False when
// there is no display connection to watch.
bool survive(void (*onLoss)());
// Whether the server has gone; any thread. Set before `onLoss` runs, inside
// the call that met the end, whose window sizes then read as nothing.
bool happened();

} // namespace DisplayLoss
