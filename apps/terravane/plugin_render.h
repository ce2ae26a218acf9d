// A render the way a paint program asks for one: the host image (a source
// file or a blank canvas), an optional selection mask and transparency plane,
// and a silent run of the plug-in module through PluginMain that plays the
// settings as a scripting descriptor. Used by terravane render.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "host.h"
#include "params/params.h"
#include "image_io.h"

namespace tv::platform {
class InterruptWatch;
}

namespace tv::cli {

class ProgressBar;

struct PluginRenderRequest {
    // The image size; 0 x 0 takes the source's size, or 1024 x 1024 without one.
    int32_t width = 0, height = 0;
    int32_t depth = 0;   // 8, 16 or 32; 0 takes the source's depth, or 8
    bool grey = false;   // a grey host image (also when the source is grey)
    bool layer = false;  // an editable transparency plane
    const Image* source = nullptr;
    // Or the source read a band at a time (terravane render): used when source is null.
    ImageReader* sourceReader = nullptr;
    const Image* mask = nullptr;  // one byte of selection per pixel: the image's size
    // The settings to play, brought to the module unchanged (see
    // played_settings.h). Neither this nor a descriptor: the last run's
    // settings again (the repeat-filter flow).
    std::optional<ParamRecord> record;
    // A descriptor to offer as it is, instead of record.
    std::optional<pi::MemoryDescriptor> settings;
    int32_t threads = 0;  // 0: one worker per processor
    ProgressBar* progress = nullptr;
    const platform::InterruptWatch* interrupt = nullptr;  // Ctrl-C under this watch cancels the render
    std::string pluginPath;         // empty: the module beside the executable
    bool interactive = false;       // the module shows its dialog first (terravane edit)
};

// The size, depth and kind of host image the request makes (after the source
// is read). False with a reason.
struct HostImageShape {
    int32_t width = 0, height = 0, depth = 8;
    bool grey = false, layer = false;
};
bool resolveHostImage(const PluginRenderRequest& request, HostImageShape& shape, std::string* error);

// The host image for the shape: the source resampled to the size and
// converted to the depth and colour kind (grey takes the luminance); its
// alpha becomes the transparency plane with a layer, else it is flattened over
// white. Without a source: black, and a layer starts fully transparent.
host::HostImage makeHostImage(const HostImageShape& shape, const Image* source);
// Row y of that host image, into row (the shape's row bytes).
void hostRowOf(const HostImageShape& shape, const Image* source, int32_t y, uint8_t* row);

// The source's rows for hostRowOf, read from an ImageReader as they are asked
// for (in increasing order, as host rows are made): only the rows a host row
// reads are held.
class SourceRows {
public:
    explicit SourceRows(ImageReader& reader) : reader_(reader) {}
    const uint8_t* row(int32_t y);  // null when the file cannot give it
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    ImageReader& reader() { return reader_; }

private:
    ImageReader& reader_;
    int32_t first_ = 0;  // the row held in rows_[0]
    std::vector<std::vector<uint8_t>> rows_;
    std::string error_;
};
void hostRowOf(const HostImageShape& shape, SourceRows& source, int32_t y, uint8_t* row);
// The selection from a mask image of the same size (grey, or the luminance,
// times its alpha). False with a reason.
bool makeSelection(const Image& mask, int32_t width, int32_t height, host::Selection& selection, std::string* error);
// The host image as a file image: 1 or 3 channels plus alpha with a layer;
// 16-bit samples rescaled from 0..32768 to 0..65535. Empty when the size is
// beyond what a file image holds.
Image fileImageOf(const host::HostImage& image);

// Every scripting key of record, as the module reads them.
pi::MemoryDescriptor descriptorOf(const ParamRecord& record);

// What a module run tells its caller as it goes.
struct ModuleRunHooks {
    std::function<void(int32_t done, int32_t total)> progress;  // the module's progress calls
    std::function<void(const Rect&)> filterRect;                 // the filter rectangle, before the run
};

// Loads the module and runs its selectors (with the dialog first when
// interactive) over image: its pixels, or, when rows is given, rows held
// elsewhere (image then gives only the shape). The settings are played as
// renderThroughPlugin describes; after a run that succeeded, the descriptor
// the module recorded is kept in the working folder for the next run. False
// with one clear reason; result is the module's result code (userCanceledErr
// when the user cancelled).
bool runModule(const PluginRenderRequest& request, host::HostImage& image, host::ImageRows* rows,
               const host::Selection* selection, const ModuleRunHooks& hooks, int16_t& result, std::string* error,
               std::string* warning);

// Loads the module, runs prepare, start, continue and finish (after the
// parameters selector and with the dialog when interactive) over the host
// image and hands back the result; the descriptor the module records is kept
// in the working folder for the next run. Runs of other processes in the same
// working folder wait for this one (kFilterRunLock). False with one clear reason (a
// failure of the module is given with the meaning of its result code).
// warning, when not null, receives what went wrong without failing the
// render (damaged or unwritable recorded settings, settings that could not
// be carried exactly).
bool renderThroughPlugin(const PluginRenderRequest& request, Image& out, std::string* error,
                         std::string* warning = nullptr);

}  // namespace tv::cli
