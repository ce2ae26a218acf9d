// The plug-in entry: one call per step of a filter run (about, parameters,
// prepare, start, continue, finish). The module's exported `PluginMain`
// forwards here.
#pragma once

#include <cstdint>
#include <vector>

#include "base/image.h"
#include "params/params.h"
#include "host/pi/pi_types.h"
#include "persist/session.h"

namespace tv {

struct FrameEngine;

// Working memory: allocated by start, released by finish or when start fails
// or is cancelled.
struct WorkingMemory {
    std::vector<uint8_t> workBlock;  // 88,728 bytes; first word 123456
    std::vector<uint8_t> buffer;     // 128 x n bytes
    uint8_t smallBuffers[3][16] = {};
    RgbImage workImage;              // 100 x 100, made in the work block
    persist::PersistRun persist;     // the undo slots, and whether the dot map was loaded
    FrameEngine* engine = nullptr;
};

void pluginMain(int16_t selector, void* record, pi::intptr* data, int16_t* result);

// Stand-ins for the interactive parts (tests): when set, they replace the
// about box and the main dialog. The main dialog returns 3 for OK; -1 (it
// cannot be created) counts as not accepted.
struct FrameDialogs {
    int (*runAboutBox)(void* context) = nullptr;
    int (*runMainDialog)(void* context) = nullptr;
    void* context = nullptr;
};
void setFrameDialogs(const FrameDialogs& dialogs);

// The message the module shows when the host cannot run it.
constexpr const char* kRefusalTitle = "Plug-in error";
constexpr const char* kRefusal2Text =
    "The filter cannot run because your paint program does not support enough of the Photoshop 3.0 "
    "plug-in standard.";
constexpr const char* kDotMapTitle = "Terravane";
constexpr const char* kDotMapDamagedText =
    "The memory-dot map \"Terravane memdot map 3\" could not be read. It is left as it is; memory dots "
    "marked now are not kept for the next run.";
// What the module says when a file it keeps for the next run cannot be
// written (the file's path and the system's reason follow). The render itself
// stands; the file is left as it was.
constexpr const char* kCachedSettingsNotKeptText = "The settings of this render are not kept for the next run";
constexpr const char* kDotMapNotKeptText = "The memory dots of this run are not kept for the next one";
constexpr const char* kRefusalMultichannelText =
    "The filter cannot run on a multichannel image: it works on RGB and grayscale images.";

// A dialog code of the main dialog's OK button.
constexpr int kDialogOk = 3;

}  // namespace tv
