#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/lock.h"

namespace tv::platform {

FolderLock::FolderLock(const std::string& name) {
    const int fd = ::open(workingFile(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return;
    }
    handle_ = fd;
    held_ = true;
}

FolderLock::~FolderLock() {
    if (handle_ >= 0) ::close(int(handle_));  // closing the file gives up its lock
}

}  // namespace tv::platform
