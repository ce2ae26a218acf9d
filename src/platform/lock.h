// A lock that processes sharing the working folder take in turn: an advisory
// lock on a file there, held by one process at a time (others wait for it)
// and given up with the object, or with the process however it ends.
#pragma once

#include <cstdint>
#include <string>

namespace tv::platform {

class FolderLock {
public:
    // Waits until the lock named name (a file of the working folder) is ours.
    explicit FolderLock(const std::string& name);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False when the lock file could not be made (the folder is not writable):
    // the caller goes on unlocked, as it would without other processes.
    bool held() const { return held_; }

private:
    intptr_t handle_ = -1;
    bool held_ = false;
};

}  // namespace tv::platform
