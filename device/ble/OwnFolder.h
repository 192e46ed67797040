#pragma once

#include <juce_core/juce_core.h>

// The cache folders that the bridge deletes lie in a place that others can
// write to as well, so their deletion never trusts what it finds there.
namespace OwnFolder {

// True when `folder` itself is a real folder (not a symbolic link) owned by
// this process's user.
bool isOwn(const juce::File& folder);

// True when `folder` lies on another mount than its parent folder (another
// file system, or a bind mount there), and when that cannot be told.
bool isMountPoint(const juce::File& folder);

// Deletes `folder` with everything in it when it is one of ours. Symbolic
// links inside are removed, never followed, and nothing on another mount is
// deleted: a folder that is itself a mount point is left whole, and so are
// folders mounted inside (other file systems, bind mounts). False when
// something stayed.
bool remove(const juce::File& folder);

} // namespace OwnFolder
