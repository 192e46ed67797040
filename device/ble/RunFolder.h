#pragma once

#include <juce_core/juce_core.h>

// This process's own folder inside the cache folder, named by its host and
// process id ("<host>-<pid>") and locked (flock) for as long as the process
// holds it. Instances of the program that share the cache folder thus never
// load from or delete each other's folder. A run folder is deleted as left
// by a run that ended without cleaning up (killed mid-download, say) only by
// the host that named it, once nobody holds its lock and its process is gone:
// another host's processes cannot be seen, nor, on some file systems (NFS),
// its locks. Where the file system has no working flock, or another instance
// keeps the cache folder's lock longer than 2000 ms (stopped with Ctrl-Z,
// say), everything goes on without the lock, the process ids alone telling
// which runs have ended.
class RunFolder {
public:
    // Makes this process's folder in `cache` (a real folder of this user's,
    // made when missing), after deleting the run folders there whose run has
    // ended. When it is already held, it is returned as it is. `madeNow`
    // tells whether it was made by this call. The empty File when `cache` is
    // not usable or the folder cannot be made.
    static juce::File hold(const juce::File& cache, bool& madeNow);

    // Counted by the library's contexts: the last one that goes deletes this
    // process's folder, then the cache folder when nothing else is left in it.
    static void acquire();
    static void release();

    // Deletes in `folder` this host's run folders whose run has ended and,
    // when `everythingUnused`, whatever else is in it that is not a run
    // folder (left by older versions of the program); then the folder itself
    // when it is empty. Nothing happens while another instance holds its lock,
    // nor when the folder is a mount point. Symbolic links are removed, never
    // followed.
    static void removeUnused(const juce::File& folder, bool everythingUnused);
};
