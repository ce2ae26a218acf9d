#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/files.h"
#include "platform/write_faults.h"

namespace tv::platform {

namespace {

// Whether a test asked this step to fail (errno then says how).
bool faultInjected(WriteStep step) {
    switch (nextWriteStep(step)) {
        case WriteFault::None: return false;
        case WriteFault::NoSpace: errno = ENOSPC; return true;
        case WriteFault::IoError: errno = EIO; return true;
    }
    return false;
}

bool makeFolders(const std::string& path, mode_t mode) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    return isFolder(path);
}

// The file a path leads to through any symbolic links (which need not exist
// yet); false for a chain of links that does not end.
bool followLinks(const std::string& path, std::string& out) {
    out = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(out.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> link(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(out.c_str(), link.data(), link.size());
        if (n <= 0 || size_t(n) >= link.size()) return false;
        const std::string to(link.data(), size_t(n));
        out = to.front() == '/' ? to : folderOf(out) + "/" + to;
    }
    return false;
}

// A name for a temporary file in folder, a different one at each call.
std::string temporaryPath(const std::string& folder, int attempt) {
    static std::atomic<uint32_t> counter{0};
    const uint64_t mix = (uint64_t(::getpid()) << 32) ^ uint64_t(::time(nullptr)) * 2654435761u ^
                         (uint64_t(counter.fetch_add(1)) << 16) ^ uint64_t(attempt);
    char name[32];
    std::snprintf(name, sizeof name, "/.tv%08x.tmp", unsigned(mix ^ (mix >> 29)));
    return folder + name;
}

// Gives the file without a name open as fd a temporary name in folder.
bool nameUnnamedFile(int fd, const std::string& folder, std::string& temporary) {
    char self[48];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryPath(folder, attempt);
        if (::linkat(AT_FDCWD, self, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno != EEXIST) break;
    }
    temporary.clear();
    return false;
}

std::string withSeparator(std::string s) {
    if (s.empty() || s.back() != '/') s.push_back('/');
    return s;
}

}  // namespace

std::string workingFolder() {
    std::string folder;
    if (const char* home = std::getenv("TERRAVANE_HOME"); home && *home) {
        folder = home;
    } else {
        const char* cache = std::getenv("XDG_CACHE_HOME");
        if (cache && *cache) {
            folder = withSeparator(cache) + "terravane";
        } else {
            const char* h = std::getenv("HOME");
            folder = withSeparator(h && *h ? h : "/tmp") + ".cache/terravane";
        }
    }
    folder = withSeparator(folder);
    if (!isFolder(folder)) makeFolders(folder.substr(0, folder.size() - 1), 0700);
    return folder;
}

std::string workingFile(std::string_view name) { return workingFolder() + std::string(name); }

char pathSeparator() { return '/'; }

std::string joinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string s(folder);
    if (s.back() != '/') s.push_back('/');
    return s + std::string(name);
}

std::string fileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string folderOf(std::string_view path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

std::string extensionOf(std::string_view path) {
    const std::string name = fileNameOf(path);
    const size_t dot = name.find_last_of('.');
    return (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot);
}

std::string stemOf(std::string_view path) {
    std::string name = fileNameOf(path);
    const std::string ext = extensionOf(path);
    name.resize(name.size() - ext.size());
    return name;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createFolder(const std::string& path) {
    if (isFolder(path)) return true;
    return ::mkdir(path.c_str(), 0755) == 0 || isFolder(path);
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool renameFile(const std::string& from, const std::string& to) {
    if (faultInjected(WriteStep::Rename)) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool readFile(const std::string& path, std::vector<uint8_t>& out, size_t maxBytes) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != out.size()) {
        out.clear();
        return false;
    }
    return true;
}

FileReader::~FileReader() { close(); }

bool FileReader::open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close();
        return false;
    }
    size_ = static_cast<uint64_t>(st.st_size);
    return true;
}

void FileReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

size_t FileReader::readAt(uint64_t offset, void* data, size_t size) {
    if (fd_ < 0) return 0;
    size_t got = 0;
    char* p = static_cast<char*>(data);
    while (got < size) {
        const ssize_t n = ::pread(fd_, p + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

int writeFileAtomic(const std::string& path, const void* data, size_t size) {
    FileWriter w;
    if (const int rc = w.open(path); rc != kFileOk) return rc;
    if (!w.write(data, size)) return kFileWriteError;
    return w.commit();
}

FileWriter::~FileWriter() { abandon(); }

int FileWriter::open(const std::string& path) {
    abandon();
    // A symbolic link stays a link: the file it leads to is replaced.
    if (!followLinks(path, target_)) return kFileOpenError;
    // The temporary lives beside the target (a rename never crosses file
    // systems). Where the system allows, it has no name until it is whole
    // (a process killed while writing leaves nothing behind); else it has a
    // short name of its own, so that a target name of any allowed length can
    // be written. New files get the usual permissions (0666 less the umask).
    const std::string folder = folderOf(target_);
    temporary_.clear();
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) == 0) fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = temporaryPath(folder, attempt);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        temporary_.clear();
        return kFileOpenError;
    }
    // A file written over keeps its permissions, and its group where the
    // group may be given.
    struct stat old;
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd_, old.st_mode & 07777);
        if (::fchown(fd_, static_cast<uid_t>(-1), old.st_gid) != 0) {
            // Not a member of that group: the file keeps the writer's.
        }
    }
    failed_ = false;
    written_ = 0;
    return kFileOk;
}

bool FileWriter::write(const void* data, size_t size) {
    // At the end of what is written so far, as the Win32 writer does.
    if (!writeAt(written_, data, size)) return false;
    written_ += int64_t(size);
    return true;
}

bool FileWriter::writeAt(int64_t offset, const void* data, size_t size) {
    if (fd_ < 0 || failed_ || offset < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (faultInjected(WriteStep::Write)) {
            failed_ = true;
            return false;
        }
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

int FileWriter::commit() {
    if (fd_ < 0) return kFileWriteError;
    // errno keeps the reason of the step that failed (a failed write's own).
    int reason = 0;
    bool ok = !failed_;
    if (ok && (faultInjected(WriteStep::Flush) || ::fsync(fd_) != 0)) ok = false, reason = errno;
    // A whole file without a name gets its temporary name now.
    if (ok && temporary_.empty() && !nameUnnamedFile(fd_, folderOf(target_), temporary_)) ok = false, reason = errno;
    if (::close(fd_) != 0 && ok) ok = false, reason = errno;
    fd_ = -1;
    if (ok && (faultInjected(WriteStep::Rename) || ::rename(temporary_.c_str(), target_.c_str()) != 0))
        ok = false, reason = errno;
    if (!ok) {
        if (!temporary_.empty()) ::unlink(temporary_.c_str());
        if (reason != 0) errno = reason;
    }
    temporary_.clear();
    return ok ? kFileOk : kFileWriteError;
}

void FileWriter::abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& out) {
    out.clear();
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        FolderEntry entry;
        entry.name = e->d_name;
        const std::string full = joinPath(path, entry.name);
        struct stat st;
        if (::stat(full.c_str(), &st) == 0) {
            entry.isFolder = S_ISDIR(st.st_mode);
            entry.readOnly = ::access(full.c_str(), W_OK) != 0;
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

}  // namespace tv::platform
