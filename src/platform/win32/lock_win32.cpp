#include <windows.h>

#include "platform/files.h"
#include "platform/lock.h"
#include "platform/win32/wide.h"

namespace tv::platform {

FolderLock::FolderLock(const std::string& name) {
    const HANDLE h = CreateFileW(win32::widen(workingFile(name)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    held_ = true;
}

FolderLock::~FolderLock() {
    if (handle_ == -1) return;
    const HANDLE h = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED whole{};
    UnlockFileEx(h, 0, 1, 0, &whole);
    CloseHandle(h);
}

}  // namespace tv::platform
