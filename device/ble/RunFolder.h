#pragma once

#include <juce_core/juce_core.h>

// This process's own folder inside the cache folder, named by its process id
// and locked (flock) for as long as the process holds it. Instances of the
// program that share the cache folder thus never load from or delete each
// other's folder, and a folder whose lock nobody holds is known to be left
// by a run that ended without cleaning up (killed mid-download, say).
class RunFolder {
public:
    // Makes this process's folder in `cache` (a real folder of this user's,
    // made when missing), after deleting the run folders there that no
    // running instance holds. When it is already held, it is returned as it
    // is. `madeNow` tells whether it was made by this call. The empty File
    // when `cache` is not usable or the folder cannot be made and locked.
    static juce::File hold(const juce::File& cache, bool& madeNow);

    // Counted by the library's contexts: the last one that goes deletes this
    // process's folder, then the cache folder when nothing else is left in it.
    static void acquire();
    static void release();

    // Under the folder's lock: deletes the run folders in it that no running
    // instance holds and, when `everythingUnused`, whatever else is in it
    // (left by older versions of the program); then the folder itself when it
    // is empty. Symbolic links are removed, never followed.
    static void removeUnused(const juce::File& folder, bool everythingUnused);
};
