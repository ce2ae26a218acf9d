// The command-line host's side of the filter plug-in interface: it loads the
// module, lays an in-memory image into the filter record, offers the handle,
// buffer and descriptor suites, delivers pixels through advanceState, and runs
// the selectors the way a paint program does.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/types.h"
#include "host/pi/memory_descriptor.h"
#include "host/pi/pi_types.h"
#include "host/pi/resources.h"

namespace tv::platform {
struct LoadedModule;
class InterruptWatch;
}

namespace tv::host {

// The host image: interleaved samples, colour planes then (optionally) the
// editable transparency plane; 8-bit bytes, 16-bit 0..32768 or 32-bit floats.
struct HostImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8;         // bits per channel: 8, 16 or 32
    int32_t colourPlanes = 3;  // 1 (grey) or 3 (RGB)
    bool transparency = false;
    std::vector<uint8_t> pixels;

    int32_t planes() const { return colourPlanes + (transparency ? 1 : 0); }
    int32_t sampleBytes() const { return depth / 8; }
    size_t rowBytes() const { return size_t(width) * size_t(planes()) * size_t(sampleBytes()); }
    uint8_t* sample(int32_t x, int32_t y, int32_t plane) {
        return pixels.data() + size_t(y) * rowBytes() + (size_t(x) * size_t(planes()) + size_t(plane)) * size_t(sampleBytes());
    }
    const uint8_t* sample(int32_t x, int32_t y, int32_t plane) const {
        return const_cast<HostImage*>(this)->sample(x, y, plane);
    }
    // Sample value scaled to 0..1 (floats as they are).
    float value(int32_t x, int32_t y, int32_t plane) const;
    void setValue(int32_t x, int32_t y, int32_t plane, float v);
};

// Stores a 0..1 value as one sample of the given depth (8: 0..255, 16:
// 0..32768, rounded and clamped; 32: the float as it is).
void storeHostValue(uint8_t* sample, int32_t depth, float v);

// The host image as the interface reaches it, a row at a time: what
// advanceState copies into the module's buffers and what it writes back.
class ImageRows {
public:
    virtual ~ImageRows() = default;
    // Row y's samples (laid out as HostImage's), or null when the row can no
    // longer be had (it has been handed on).
    virtual uint8_t* row(int32_t y) = 0;
    // The module's output for the rectangle (clipped to the image) is in the rows.
    virtual void stored(const Rect&) {}
};

// A blank canvas: black, opaque (transparency plane at full scale).
HostImage blankImage(int32_t width, int32_t height, int32_t depth, bool grey, bool transparency);

// Interface limits of this host: 16-bit coordinates up to 32767 pixels, with
// the big-document block up to 300,000 pixels a side.
constexpr int32_t kMaxSmallDocument = 32767;
constexpr int32_t kMaxDocumentSide = 300000;
// Checks an image against them; false with a reason.
bool checkImageSize(int32_t width, int32_t height, int32_t planes, int32_t depth, std::string* error);

// The selection: one byte per image pixel, 0 unselected .. 255 selected.
struct Selection {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> mask;
};

struct PluginModule {
    platform::LoadedModule* handle = nullptr;
    pi::PluginEntryProc entry = nullptr;
    pi::PropertyListInfo info;
    pi::Terminology terminology;
    std::string path;
    // This host's own extension, absent from other modules: the module's
    // worker-thread count (see pluginWorkerThreads).
    int (*workerThreads)(int n) = nullptr;
};

// terravane-plugin.so beside the executable.
std::string defaultPluginPath();
// Loads the module, reads its property list (a filter with an entry point) and
// terminology, and finds the entry. False with a reason.
bool loadPlugin(const std::string& path, PluginModule& module, std::string* error);
void unloadPlugin(PluginModule& module);
// Sets the module's worker threads: n > 0 forces n, 0 returns to one per
// processor. Returns the count its renders now use, or -1 when the module
// cannot be told.
int32_t pluginWorkerThreads(PluginModule& module, int32_t n);

// What the host offers and how it behaves (tests vary these).
struct HostOptions {
    bool advanceState = true;
    bool displayPixels = true;
    char samplingSupport = 1;
    bool descriptors = true;
    bool bufferSuite = true;
    bool bigDocument = false;      // 32-bit coordinates (also used when the image needs them)
    pi::OSType hostSig = pi::fourCC('8', 'B', 'I', 'M');
    int32_t maxSpace = 1 << 30;
    pi::int16 playInfo = pi::plugInDialogSilent;
    bool floating = false;         // a floating selection at (floatX, floatY)
    int32_t floatX = 0, floatY = 0;
    std::optional<Rect> filterRect;  // default: the selection's bounds, or the whole image
    int32_t cancelAfterTiles = -1;   // abortProc answers yes once this many tiles were requested
    const platform::InterruptWatch* interrupt = nullptr;  // Ctrl-C under this watch answers abortProc
    std::function<bool()> abort;     // abortProc also answers yes when this does
    std::function<void(int32_t done, int32_t total)> progress;
    pi::intptr parentWindow = 0;     // the window a dialog opens over (platform data)
    // The host's colour picker (colour services); none when empty. Returns
    // false when the user cancelled; rgb holds the colour before and after.
    std::function<bool(const std::string& prompt, uint8_t rgb[3])> colourPicker;
};

// What outlives one run: the blocks the host keeps for the module and the
// descriptor it recorded at the last finish. The blocks are the host's
// handles; they are disposed with the session, as a paint program disposes
// them when the document or the program closes (data only when the module made
// it a handle of this host).
struct FilterSession {
    pi::Handle parameters = nullptr;
    pi::intptr data = 0;
    std::optional<pi::MemoryDescriptor> recorded;

    FilterSession() = default;
    FilterSession(const FilterSession&) = delete;
    FilterSession& operator=(const FilterSession&) = delete;
    FilterSession(FilterSession&& other) noexcept { *this = std::move(other); }
    FilterSession& operator=(FilterSession&& other) noexcept {  // exchanges: other disposes ours
        std::swap(parameters, other.parameters);
        std::swap(data, other.data);
        std::swap(recorded, other.recorded);
        return *this;
    }
    ~FilterSession();
};

struct RunReport {
    int16_t result = 0;
    int16_t failedSelector = -1;   // the selector that returned the result, when not 0
    int32_t tilesRequested = 0;
    std::vector<Rect> inRects;     // the input rectangle of every advanceState call
    std::vector<Rect> outRects;
    int32_t maxSpaceAfterPrepare = 0;
    int32_t bufferSpaceAfterPrepare = 0;
    double seconds = 0.0;          // the whole run
    double transferSeconds = 0.0;  // inside advanceState (the host's image transfer)
};

// How a run plays the settings.
struct RunRequest {
    bool interactive = false;  // starts with the parameters selector (the dialog)
    // The descriptor offered to the module: the given one, else the session's
    // recorded one, else none.
    std::optional<pi::MemoryDescriptor> descriptor;
};

class FilterHost {
public:
    FilterHost(PluginModule& module, FilterSession& session, HostImage& image, const Selection* selection,
               const HostOptions& options);
    // An image held elsewhere, a row at a time: shape gives its size, depth and
    // planes (its pixels are not used).
    FilterHost(PluginModule& module, FilterSession& session, const HostImage& shape, ImageRows& rows,
               const Selection* selection, const HostOptions& options);
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // A whole run: [parameters,] prepare, start, and when start succeeded,
    // continue and finish; the descriptor the module returns is recorded in the
    // session. Output written before a failure stays in the image.
    int16_t run(const RunRequest& request, RunReport& report);

    // One call of PluginMain (tests): the result code.
    int16_t call(int16_t selector);
    int16_t about();

    pi::FilterRecord& record() { return record_; }
    pi::PIDescriptorParameters& descriptorParameters() { return descriptorParameters_; }
    // Offers a descriptor (or none) for the next start.
    void offerDescriptor(const std::optional<pi::MemoryDescriptor>& descriptor);
    // The descriptor in the descriptor parameters now (after finish: the recorded one).
    std::optional<pi::MemoryDescriptor> currentDescriptor() const;
    RunReport& report() { return report_; }
    // The filter rectangle the module was given.
    Rect filterRect() const { return readRect(record_.filterRect, bigDocument_.filterRect32); }

    // Called by the interface callbacks.
    pi::OSErr advanceState();
    pi::Boolean abortRequested();
    void progress(int32_t done, int32_t total);
    pi::OSErr colorServices(pi::ColorServicesInfo& info);

private:
    void flushOutput();
    Rect readRect(const pi::Rect16& small, const pi::VRect& big) const;
    void setUpRecord();
    uint8_t* sample(int32_t x, int32_t y, int32_t plane);

    PluginModule& module_;
    FilterSession& session_;
    const HostImage& image_;  // the shape; the pixels are reached through rows_
    ImageRows* rows_ = nullptr;
    std::unique_ptr<ImageRows> ownRows_;
    const Selection* selection_;
    HostOptions options_;
    pi::FilterRecord record_{};
    pi::BigDocumentStruct bigDocument_{};
    pi::PIDescriptorParameters descriptorParameters_{};
    pi::PlatformData platformData_{};
    std::vector<uint8_t> inBuffer_, outBuffer_, maskBuffer_;
    Rect pendingOut_;
    int32_t pendingLo_ = 0, pendingHi_ = -1;
    bool outPending_ = false;
    RunReport report_;
};

// The host's handle suite, for tests that look inside handles.
std::vector<uint8_t> handleBytes(pi::Handle h);
pi::Handle newHandleWith(const std::vector<uint8_t>& bytes);

// The recorded descriptor kept between runs of the command line, in the
// working folder ("Terravane host descriptor"). Loading a missing file gives
// nothing; a damaged one gives nothing and a reason.
bool saveRecordedDescriptor(const pi::MemoryDescriptor& d, std::string* error);
std::optional<pi::MemoryDescriptor> loadRecordedDescriptor(std::string* error);
constexpr const char* kRecordedDescriptorFile = "Terravane host descriptor";

// Meaning of a result code from PluginMain, for messages.
std::string resultMeaning(int16_t result);

}  // namespace tv::host
