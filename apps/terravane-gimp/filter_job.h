// What the GIMP side of terravane-gimp asks of its filter helper (a second
// copy of the program that hosts the module), and what comes back. GIMP ends
// a plug-in whose progress the user cancels; the helper outlives it, sees the
// pipe close, and answers the module's abortProc with yes.
//
// On the pipe: a tag word, then for progress two words (done, total); for a
// job or an outcome the length of its header, the header, then the raw
// samples of the region (and for a job the selection bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/types.h"
#include "host/pi/memory_descriptor.h"
#include "platform/child_process.h"

namespace tv::gimp {

constexpr size_t kMaxMessageBytes = 4096;

struct FilterJob {
    bool interactive = false;   // the parameters selector first: the module shows its dialog
    int32_t threads = 0;        // 0: one worker per processor
    uint64_t parentWindow = 0;  // the window the dialog opens over
    // The host image: its size and kind, and the part of it whose samples
    // (and selection) the job carries; elsewhere it is black.
    int32_t width = 0, height = 0;
    int32_t depth = 8;          // 8, 16 or 32
    int32_t colourPlanes = 3;   // 1 or 3
    bool transparency = false;  // an editable transparency plane follows the colours
    Rect region;
    bool floating = false;      // a floating selection at (floatX, floatY)
    int32_t floatX = 0, floatY = 0;
    std::optional<Rect> filterRect;  // default: the selection's bounds, or the whole image
    std::optional<pi::MemoryDescriptor> descriptor;
    std::vector<uint8_t> cachedSettings;  // put in place as the module's settings file when not empty
    std::vector<uint8_t> pixels;          // the region's samples, interleaved as the host image's
    std::vector<uint8_t> selection;       // one byte a region pixel; empty: no selection

    size_t pixelBytes() const;
    size_t selectionBytes() const { return size_t(region.width()) * size_t(region.height()); }
};

struct FilterOutcome {
    int16_t result = 0;   // the module's result code (0: rendered)
    std::string message;  // why it failed (or what did not come across)
    Rect filterRect;      // where the module wrote, in host image coordinates
    std::optional<pi::MemoryDescriptor> recorded;
    std::vector<uint8_t> cachedSettings;  // the module's settings file after the run
    std::vector<uint8_t> pixels;          // the region after the run (result 0 only)
};

std::vector<uint8_t> encodeJobHeader(const FilterJob& job);
// Checks every field (sizes, depth, planes, rectangles inside the image);
// false with a reason. The samples are not part of the header.
bool decodeJobHeader(const uint8_t* data, size_t size, FilterJob& job, std::string* error);
std::vector<uint8_t> encodeOutcomeHeader(const FilterOutcome& outcome);
bool decodeOutcomeHeader(const uint8_t* data, size_t size, FilterOutcome& outcome, std::string* error);

bool sendJob(platform::Channel to, const FilterJob& job);
bool receiveJob(platform::Channel from, FilterJob& job, std::string* error);
bool sendProgress(platform::Channel to, int32_t done, int32_t total);
bool sendOutcome(platform::Channel to, const FilterOutcome& outcome);
// Reads until the outcome of job, handing progress to onProgress. False with
// a reason when the helper ends without one or sends something else.
bool receiveOutcome(platform::Channel from, const FilterJob& job, FilterOutcome& outcome,
                    const std::function<void(int32_t, int32_t)>& onProgress, std::string* error);

}  // namespace tv::gimp
