// Files and the working folder on Windows: wide-character calls with UTF-8
// paths; whole-file writes through a temporary file beside the target that
// ReplaceFileW (keeping the target's attributes and security) or MoveFileExW
// puts in place. Pieces are read and written at explicit offsets, so a file
// pointer never has to be kept in step.
#include <algorithm>
#include <cstdint>

#include "platform/files.h"
#include "platform/write_faults.h"
#include "platform/win32/wide.h"

namespace tv::platform {

namespace {

using win32::narrow;
using win32::widen;

// Whether a test asked this step to fail (GetLastError then says how).
bool faultInjected(WriteStep step) {
    switch (nextWriteStep(step)) {
        case WriteFault::None: return false;
        case WriteFault::NoSpace: SetLastError(ERROR_DISK_FULL); return true;
        case WriteFault::IoError: SetLastError(ERROR_IO_DEVICE); return true;
    }
    return false;
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

size_t lastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

std::string withSeparator(std::string s) {
    if (s.empty() || !isSeparator(s.back())) s.push_back('\\');
    return s;
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesW(widen(path).c_str()); }

// Creates every missing folder of path.
bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    for (size_t pos = 0; pos != std::string::npos;) {
        pos = path.find_first_of("\\/", pos + 1);
        const std::string partial = path.substr(0, pos);
        if (partial.empty() || partial.back() == ':') continue;  // a drive ("C:")
        if (!CreateDirectoryW(widen(partial).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS &&
            !isFolder(partial))
            return false;
    }
    return isFolder(path);
}

// The handle kept in FileWriter's descriptor: kernel handles have 32
// significant bits on 64-bit Windows, so the value fits an int.
HANDLE handleOf(int descriptor) { return LongToHandle(descriptor); }
int descriptorOf(HANDLE h) { return HandleToLong(h); }

}  // namespace

std::string workingFolder() {
    std::string folder = win32::environment(L"TERRAVANE_HOME");
    if (folder.empty()) {
        wchar_t temp[MAX_PATH + 2];
        const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
        folder = (n > 0 && n <= MAX_PATH + 1) ? narrow(std::wstring_view(temp, n)) : "C:\\Windows\\Temp\\";
    }
    folder = withSeparator(folder);
    if (!isFolder(folder)) makeFolders(folder.substr(0, folder.size() - 1));
    return folder;
}

std::string workingFile(std::string_view name) { return workingFolder() + std::string(name); }

char pathSeparator() { return '\\'; }

std::string joinPath(std::string_view folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string s(folder);
    if (!isSeparator(s.back())) s.push_back('\\');
    return s + std::string(name);
}

std::string fileNameOf(std::string_view path) {
    const size_t at = lastSeparator(path);
    return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string folderOf(std::string_view path) {
    const size_t at = lastSeparator(path);
    if (at == std::string_view::npos) return ".";
    if (at == 0) return std::string(path.substr(0, 1));
    if (at == 2 && path[1] == ':') return std::string(path.substr(0, 3));  // "C:\"
    return std::string(path.substr(0, at));
}

std::string extensionOf(std::string_view path) {
    const std::string name = fileNameOf(path);
    const size_t dot = name.find_last_of('.');
    return (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot);
}

std::string stemOf(std::string_view path) {
    std::string name = fileNameOf(path);
    name.resize(name.size() - extensionOf(path).size());
    return name;
}

bool fileExists(const std::string& path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFolder(const std::string& path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool createFolder(const std::string& path) {
    if (isFolder(path)) return true;
    return CreateDirectoryW(widen(path).c_str(), nullptr) || isFolder(path);
}

bool removeFile(const std::string& path) { return DeleteFileW(widen(path).c_str()) != 0; }

bool renameFile(const std::string& from, const std::string& to) {
    if (faultInjected(WriteStep::Rename)) return false;
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

bool readFile(const std::string& path, std::vector<uint8_t>& out, size_t maxBytes) {
    out.clear();
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    const bool regular = GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) && size.QuadPart >= 0 &&
                         uint64_t(size.QuadPart) <= maxBytes && uint64_t(size.QuadPart) <= SIZE_MAX;
    if (!regular) {
        CloseHandle(h);
        return false;
    }
    out.resize(size_t(size.QuadPart));
    size_t got = 0;
    while (got < out.size()) {
        const DWORD chunk = DWORD(std::min<size_t>(out.size() - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(h, out.data() + got, chunk, &n, nullptr) || n == 0) break;
        got += n;
    }
    CloseHandle(h);
    if (got != out.size()) {
        out.clear();
        return false;
    }
    return true;
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
    target_ = path;
    // The temporary lives beside the target under a short name of its own,
    // so that a target name of any allowed length can be written.
    const std::string stem = joinPath(folderOf(path), ".tv");
    static LONG counter = 0;
    const uint64_t seed = GetTickCount64() ^ (uint64_t(GetCurrentProcessId()) << 20);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const uint64_t v = seed + uint64_t(InterlockedIncrement(&counter)) * 0x9E3779B97F4A7C15ull;
        static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
        std::string suffix;
        for (int i = 0; i < 8; ++i) suffix.push_back(digits[(v >> (6 * i)) % 36]);
        const std::string candidate = stem + suffix + ".tmp";
        HANDLE h = CreateFileW(widen(candidate).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            temporary_ = candidate;
            fd_ = descriptorOf(h);
            failed_ = false;
            written_ = 0;
            return kFileOk;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return kFileOpenError;
}

namespace {

// size bytes at offset, whatever the handle's file pointer says (so that
// writes at earlier offsets and at the end can alternate).
bool writeAtOffset(HANDLE h, uint64_t offset, const char* p, size_t size) {
    while (size > 0) {
        const DWORD chunk = DWORD(std::min<size_t>(size, 1u << 30));
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD n = 0;
        if (faultInjected(WriteStep::Write) || !WriteFile(h, p, chunk, &n, &at) || n == 0) return false;
        p += n;
        size -= n;
        offset += n;
    }
    return true;
}

}  // namespace

bool FileWriter::write(const void* data, size_t size) {
    if (fd_ < 0 || failed_) return false;
    if (!writeAtOffset(handleOf(fd_), uint64_t(written_), static_cast<const char*>(data), size)) {
        failed_ = true;
        return false;
    }
    written_ += int64_t(size);
    return true;
}

bool FileWriter::writeAt(int64_t offset, const void* data, size_t size) {
    if (fd_ < 0 || failed_ || offset < 0) return false;
    if (!writeAtOffset(handleOf(fd_), uint64_t(offset), static_cast<const char*>(data), size)) {
        failed_ = true;
        return false;
    }
    return true;
}

int FileWriter::commit() {
    if (fd_ < 0) return kFileWriteError;
    HANDLE h = handleOf(fd_);
    // GetLastError keeps the reason of the step that failed (a failed write's own).
    DWORD reason = 0;
    bool ok = !failed_;
    if (ok && (faultInjected(WriteStep::Flush) || !FlushFileBuffers(h))) ok = false, reason = GetLastError();
    if (!CloseHandle(h) && ok) ok = false, reason = GetLastError();
    fd_ = -1;
    if (ok) {
        const std::wstring from = widen(temporary_), to = widen(target_);
        // ReplaceFileW keeps the target's attributes and security; a new
        // target (or a file system that cannot replace) takes the move.
        ok = !faultInjected(WriteStep::Rename) &&
             ((fileExists(target_) && ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                                   nullptr, nullptr)) ||
              MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        if (!ok) reason = GetLastError();
    }
    if (!ok) {
        DeleteFileW(widen(temporary_).c_str());
        if (reason != 0) SetLastError(reason);
    }
    temporary_.clear();
    return ok ? kFileOk : kFileWriteError;
}

void FileWriter::abandon() {
    if (fd_ >= 0) {
        CloseHandle(handleOf(fd_));
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        DeleteFileW(widen(temporary_).c_str());
        temporary_.clear();
    }
}

FileReader::~FileReader() { close(); }

bool FileReader::open(const std::string& path) {
    close();
    HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size) || size.QuadPart < 0) {
        CloseHandle(h);
        return false;
    }
    fd_ = descriptorOf(h);
    size_ = uint64_t(size.QuadPart);
    return true;
}

void FileReader::close() {
    if (fd_ >= 0) CloseHandle(handleOf(fd_));
    fd_ = -1;
    size_ = 0;
}

size_t FileReader::readAt(uint64_t offset, void* data, size_t size) {
    if (fd_ < 0) return 0;
    size_t got = 0;
    char* p = static_cast<char*>(data);
    while (got < size) {
        const uint64_t from = offset + got;
        OVERLAPPED at{};
        at.Offset = DWORD(from);
        at.OffsetHigh = DWORD(from >> 32);
        DWORD n = 0;
        // At the end of the file ReadFile fails with ERROR_HANDLE_EOF: a short read.
        if (!ReadFile(handleOf(fd_), p + got, DWORD(std::min<size_t>(size - got, 1u << 30)), &n, &at) || n == 0) break;
        got += n;
    }
    return got;
}

bool listFolder(const std::string& path, std::vector<FolderEntry>& out) {
    out.clear();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileExW(widen(joinPath(path, "*")).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND && isFolder(path);
    do {
        const std::string name = narrow(found.cFileName);
        if (name == "." || name == "..") continue;
        FolderEntry entry;
        entry.name = name;
        entry.isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.readOnly = (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        out.push_back(std::move(entry));
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(out.begin(), out.end(), [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

}  // namespace tv::platform
