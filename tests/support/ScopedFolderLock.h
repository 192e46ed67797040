#pragma once

#include "device/ble/FolderLock.h"

// Puts another function in flock's place for the cache folders' locks for one
// test; the one it replaced comes back when this goes.
class ScopedFolderLock {
public:
    explicit ScopedFolderLock(FolderLock::Function function) : previous(FolderLock::setFunctionForTests(function)) {}
    ~ScopedFolderLock() { FolderLock::setFunctionForTests(previous); }
    ScopedFolderLock(const ScopedFolderLock&) = delete;
    ScopedFolderLock& operator=(const ScopedFolderLock&) = delete;

private:
    FolderLock::Function previous;
};
