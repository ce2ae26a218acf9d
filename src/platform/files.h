// Files and the working folder. Every other part of the engine reaches the
// file system through these functions only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tv::platform {

// Result codes of file operations.
constexpr int kFileOk = 0;
constexpr int kFileOpenError = 99;
constexpr int kFileReadError = -19;
constexpr int kFileWriteError = -20;

// The private folder where working files live, ending in a separator. On
// Linux: $TERRAVANE_HOME when set, else ${XDG_CACHE_HOME:-$HOME/.cache}/terravane/,
// created with mode 0700 when missing.
std::string workingFolder();
// workingFolder() followed directly by name.
std::string workingFile(std::string_view name);

char pathSeparator();
std::string joinPath(std::string_view folder, std::string_view name);
std::string fileNameOf(std::string_view path);    // "a/b/c.q1q" -> "c.q1q"
std::string folderOf(std::string_view path);      // "a/b/c.q1q" -> "a/b" ("." when none)
std::string stemOf(std::string_view path);        // "a/b/c.q1q" -> "c"
std::string extensionOf(std::string_view path);   // "a/b/c.q1q" -> ".q1q" ("" when none)

bool fileExists(const std::string& path);
bool isFolder(const std::string& path);
bool createFolder(const std::string& path);  // true when it exists afterwards
bool removeFile(const std::string& path);
bool renameFile(const std::string& from, const std::string& to);  // replaces to

// Reads a whole file. False when it cannot be opened or read, or is larger
// than maxBytes (out is then empty).
bool readFile(const std::string& path, std::vector<uint8_t>& out, size_t maxBytes = SIZE_MAX);

// Writes a whole file: to a temporary name beside it, flushed, then renamed
// over the target. Returns kFileOk, kFileOpenError or kFileWriteError; on
// failure the target is untouched.
int writeFileAtomic(const std::string& path, const void* data, size_t size);

// A file written in pieces and put in place whole by commit(). Destroying an
// uncommitted writer removes the temporary file and leaves the target untouched.
class FileWriter {
public:
    FileWriter() = default;
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    int open(const std::string& path);  // kFileOk or kFileOpenError
    bool write(const void* data, size_t size);
    // Writes at a byte offset already written, or at the end (formats whose
    // headers are completed last); position() does not move.
    bool writeAt(int64_t offset, const void* data, size_t size);
    int64_t position() const { return written_; }
    int commit();  // kFileOk, or kFileWriteError (target untouched)
    void abandon();
    bool isOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool failed_ = false;
    int64_t written_ = 0;
    std::string target_;
    std::string temporary_;
};

// A regular file read in pieces, anywhere in it (readers of large images).
class FileReader {
public:
    FileReader() = default;
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    bool open(const std::string& path);  // false when it cannot be opened or is not a regular file
    void close();
    uint64_t size() const { return size_; }
    // Up to size bytes from offset; the count read (0 at the end or on an error).
    size_t readAt(uint64_t offset, void* data, size_t size);

private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    bool readOnly = false;
};
// Entries of a folder (without "." and ".."), sorted by name. False when it cannot be listed.
bool listFolder(const std::string& path, std::vector<FolderEntry>& out);

}  // namespace tv::platform
