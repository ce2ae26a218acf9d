// Settings files ("*.q1q"): every setting of a planet as big-endian 32-bit
// words and a JPEG thumbnail. Presets, the cached settings, undo files and
// memory-dot files share this format.
//
// The writer produces version 40. The reader accepts versions 1 to 40 and
// converts older values in order. It validates the whole file before it
// changes anything: a file that is truncated, foreign or claims impossible
// sizes leaves the record and the thumbnail as they were and yields
// platform::kFileReadError with a message; a thumbnail whose JPEG data is
// broken leaves the previous thumbnail and the settings are still loaded.
#pragma once

#include <cstddef>  // before base/image.h, which uses size_t
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/image.h"
#include "params/params.h"

namespace tv::persist {

constexpr int32_t kSettingsVersion = 40;  // what the writer produces (host/settings_writer.h)
constexpr int32_t kThumbnailMaxSide = 128;       // a reader's bound on width and height
constexpr size_t kThumbnailMaxBytes = 49152;     // the largest JPEG stream a reader takes
constexpr int kThumbnailQuality = 128;           // asked of the encoder (class 9)
constexpr size_t kSettingsFileMaxBytes = 16u << 20;  // larger files are refused unread

constexpr const char* kCachedSettingsName = "Terravane cached settings D";
constexpr const char* kDefaultSettingsName = "Terravane settings";
constexpr const char* kPresetExtension = ".q1q";

enum class ReadMode {
    Load,           // fill the record (and the thumbnail)
    ThumbnailOnly,  // read through the words, keep only the thumbnail
};

// What a read found.
struct ReadReport {
    int32_t version = 0;
    bool thumbnailFound = false;   // the file carries a picture
    bool thumbnailLoaded = false;  // ... and it became the thumbnail
    std::string message;           // why the read failed, or why the picture was not taken
};

// The file's bytes for record and thumbnail (null or empty: no thumbnail).
// The thumbnail is scaled to 128 x 128 and stored as a JPEG stream.
std::vector<uint8_t> encodeSettings(const ParamRecord& record, const RgbImage* thumbnail);

// Writes the file whole (a temporary name beside it, then renamed over it).
// Returns platform::kFileOk, kFileOpenError (99) or kFileWriteError (-20).
int writeSettingsFile(const std::string& path, const ParamRecord& record, const RgbImage* thumbnail);

// Reads a settings file from memory. record is filled in Load mode (it may be
// null in ThumbnailOnly mode); thumbnail, when not null, receives the picture
// (null: the picture is not wanted and is skipped). Returns platform::kFileOk
// or platform::kFileReadError (report->message says why); on error neither
// record nor thumbnail has changed.
int decodeSettings(const uint8_t* data, size_t size, ReadMode mode, ParamRecord* record, RgbImage* thumbnail,
                   ReadReport* report = nullptr);

// Reads a settings file. Returns kFileOk, kFileOpenError (99: nothing
// changed) or kFileReadError (nothing changed).
int readSettingsFile(const std::string& path, ReadMode mode, ParamRecord* record, RgbImage* thumbnail,
                     ReadReport* report = nullptr);
// The same with the state block's thumbnail (made when a picture is read).
int readSettingsFile(const std::string& path, ReadMode mode, ParamRecord* record, StateBlock& state,
                     ReadReport* report = nullptr);

// ---- the dialog's commands --------------------------------------------------

// The Save command's initial file name: the settings name, "Terravane
// settings" when empty, without anything from its last "." on.
std::string saveFileStem(std::string_view settingsName);

// The Save command once the user has chosen path: the settings name becomes
// the file's name, its folder is remembered, and the settings go to the file
// with the state block's thumbnail (when state is given).
int savePreset(const std::string& path, ParamRecord& record, const StateBlock* state);

// The Open command: the defaults, then the file in load mode; the settings
// name becomes the file's name. When the file cannot be opened or read,
// nothing changes (not even the defaults).
int openPreset(const std::string& path, ParamRecord& record, StateBlock* state, ReadReport* report = nullptr);

// The Plain settings command: the defaults and the name "plain settings".
void plainSettings(ParamRecord& record);

// ---- cached settings ------------------------------------------------------------
std::string cachedSettingsPath();  // in the working folder
// Written after every successful final render.
int writeCachedSettings(const ParamRecord& record, const StateBlock& state);
// Read in load mode at start when the host holds no recorded parameters.
int readCachedSettings(ParamRecord& record, StateBlock& state, ReadReport* report = nullptr);

// ---- preset folder refresh ---------------------------------------------------------
// Rewrites every file of folder whose name contains "q9q" or "q5q" in the
// current format: each is read in load mode (the settings name becomes the
// file's name), refresh() re-renders the preview and takes a new thumbnail,
// and the file is written back; a "q9q" file is then renamed to ".q5q"
// unless a file of that name exists (which is never replaced). The
// current settings are kept in memory-dot file 25 meanwhile and read back at
// the end. Files that cannot be read are left as they are. Returns the number
// of files rewritten, or -1 when the folder cannot be listed.
struct RefreshHooks {
    void* context = nullptr;
    void (*refresh)(void* context, ParamRecord& record, StateBlock& state) = nullptr;  // may be null
};
int refreshPresetFolder(const std::string& folder, ParamRecord& record, StateBlock& state,
                        const RefreshHooks& hooks);

}  // namespace tv::persist
