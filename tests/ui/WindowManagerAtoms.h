#pragma once

// JUCE looks up the window manager's X atoms without creating them; on a bare
// X server (Xvfb, no window manager) they are missing and the first window
// fails with BadAtom. Creates them on the current DISPLAY and keeps a
// connection open so that they last. Returns false when no X server answers.
bool createWindowManagerAtoms();
