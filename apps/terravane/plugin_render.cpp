#include "plugin_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cli_common.h"
#include "params/settings_writer.h"
#include "platform/window.h"
#include "platform/lock.h"
#include "played_settings.h"

namespace tv::cli {

namespace {

constexpr int32_t kDefaultSide = 1024;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Bilinear sample of channel c at pixel (x, y) of an image of size (w, h),
// with pixel centres aligned.
float resampled(const Image& image, int32_t x, int32_t y, int32_t w, int32_t h, int32_t c) {
    if (w == image.width && h == image.height) return image.sample(x, y, c);
    const float fx = std::clamp((float(x) + 0.5f) * float(image.width) / float(w) - 0.5f, 0.0f, float(image.width - 1));
    const float fy = std::clamp((float(y) + 0.5f) * float(image.height) / float(h) - 0.5f, 0.0f, float(image.height - 1));
    const int32_t x0 = int32_t(fx), y0 = int32_t(fy);
    const int32_t x1 = std::min(x0 + 1, image.width - 1), y1 = std::min(y0 + 1, image.height - 1);
    const float tx = fx - float(x0), ty = fy - float(y0);
    const float top = image.sample(x0, y0, c) + tx * (image.sample(x1, y0, c) - image.sample(x0, y0, c));
    const float bottom = image.sample(x0, y1, c) + tx * (image.sample(x1, y1, c) - image.sample(x0, y1, c));
    return top + ty * (bottom - top);
}

float luminance(float r, float g, float b) { return 0.3f * r + 0.59f * g + 0.11f * b; }

// A file image's colour (grey replicated) and alpha at (x, y) of a (w, h) image.
void pixelOf(const Image& image, int32_t x, int32_t y, int32_t w, int32_t h, float rgba[4]) {
    const bool colour = image.channels >= 3;
    for (int32_t c = 0; c < 3; ++c) rgba[c] = resampled(image, x, y, w, h, colour ? c : 0);
    const bool alpha = image.channels == 2 || image.channels == 4;
    rgba[3] = alpha ? resampled(image, x, y, w, h, image.channels - 1) : 1.0f;
}

class SettingsToDescriptor : public SettingsOutput {
public:
    explicit SettingsToDescriptor(pi::MemoryDescriptor& d) : d_(d) {}
    void putInteger(const ScriptKey& k, int32_t v) override { d_.put({k.key, pi::typeInteger, 0, v, 0.0}); }
    void putBoolean(const ScriptKey& k, bool v) override { d_.put({k.key, pi::typeBoolean, 0, v ? 1 : 0, 0.0}); }
    void putFloat(const ScriptKey& k, double v) override { d_.put({k.key, pi::typeFloat, 0, 0, v}); }
    void putEnumerated(const ScriptKey& k, uint32_t type, uint32_t value) override {
        d_.put({k.key, pi::typeEnumerated, type, int32_t(value), 0.0});
    }

private:
    pi::MemoryDescriptor& d_;
};

bool maskFits(const Image& mask, int32_t width, int32_t height, std::string* error) {
    if (mask.width == width && mask.height == height) return true;
    return fail(error, "the mask is " + std::to_string(mask.width) + "x" + std::to_string(mask.height) +
                           " but the image is " + std::to_string(width) + "x" + std::to_string(height));
}

const char* selectorName(int16_t selector) {
    switch (selector) {
        case pi::kSelectorParameters: return "parameters";
        case pi::kSelectorPrepare: return "prepare";
        case pi::kSelectorStart: return "start";
        case pi::kSelectorContinue: return "continue";
        case pi::kSelectorFinish: return "finish";
        default: return "a call";
    }
}

}  // namespace

bool resolveHostImage(const PluginRenderRequest& request, HostImageShape& shape, std::string* error) {
    // The source's shape, from the image or the reader.
    struct {
        int32_t width, height, channels, depth;
    } src{0, 0, 0, 0};
    const bool source = request.source || request.sourceReader;
    if (request.source)
        src = {request.source->width, request.source->height, request.source->channels, request.source->depth};
    else if (request.sourceReader)
        src = {request.sourceReader->width(), request.sourceReader->height(), request.sourceReader->channels(),
               request.sourceReader->depth()};
    shape = HostImageShape{};
    if (request.width > 0 && request.height > 0) {
        shape.width = request.width;
        shape.height = request.height;
    } else if (source) {
        shape.width = src.width;
        shape.height = src.height;
    } else {
        shape.width = shape.height = kDefaultSide;
    }
    shape.depth = request.depth != 0 ? request.depth : (source ? src.depth : 8);
    if (shape.depth != 8 && shape.depth != 16 && shape.depth != 32)
        return fail(error, "bad depth " + std::to_string(shape.depth) + " (expected 8, 16 or 32)");
    shape.grey = request.grey || (source && src.channels <= 2);
    shape.layer = request.layer;
    if (request.mask && !maskFits(*request.mask, shape.width, shape.height, error)) return false;
    const int32_t planes = (shape.grey ? 1 : 3) + (shape.layer ? 1 : 0);
    std::string why;
    if (!host::checkImageSize(shape.width, shape.height, planes, shape.depth, &why)) return fail(error, why);
    // The result becomes an image file of the command line.
    if (shape.width > kMaxImageSide || shape.height > kMaxImageSide ||
        int64_t(shape.width) * shape.height > kMaxWrittenPixels)
        return fail(error, "a " + std::to_string(shape.width) + "x" + std::to_string(shape.height) +
                               " image is too large for an image file (at most " + std::to_string(kMaxImageSide) +
                               " pixels a side and " + std::to_string(kMaxWrittenPixels) + " in all)");
    return true;
}

namespace {

// Sample (x, c) of a row of a file image, as Image::sample reads it.
float sampleIn(const uint8_t* row, int32_t depth, int32_t channels, int32_t x, int32_t c) {
    const size_t i = size_t(x) * size_t(channels) + size_t(c);
    if (depth == 8) return float(row[i]) / 255.0f;
    if (depth == 16) {
        uint16_t v;
        std::memcpy(&v, row + 2 * i, 2);
        return float(v) / 65535.0f;
    }
    float v;
    std::memcpy(&v, row + 4 * i, 4);
    return v;
}

// Host row y from a source of (width, height, channels, depth) whose rows
// rowAt gives: resampled bilinearly with pixel centres aligned when the sizes
// differ, then flattened or given its alpha plane, grey or colour.
template <typename RowAt>
void hostRowFrom(const HostImageShape& shape, int32_t width, int32_t height, int32_t channels, int32_t depth,
                 RowAt rowAt, int32_t y, uint8_t* row) {
    const int32_t colourPlanes = shape.grey ? 1 : 3;
    const int32_t planes = colourPlanes + (shape.layer ? 1 : 0);
    const size_t sampleBytes = size_t(shape.depth / 8);
    const int32_t w = shape.width, h = shape.height;
    const bool sameSize = w == width && h == height;
    const uint8_t *r0, *r1;
    float ty = 0.0f;
    if (sameSize) {
        r0 = r1 = rowAt(y);
    } else {
        const float fy = std::clamp((float(y) + 0.5f) * float(height) / float(h) - 0.5f, 0.0f, float(height - 1));
        const int32_t y0 = int32_t(fy);
        const int32_t y1 = std::min(y0 + 1, height - 1);
        ty = fy - float(y0);
        r0 = rowAt(y0);
        r1 = rowAt(y1);
    }
    if (!r0 || !r1) {
        std::memset(row, 0, size_t(w) * size_t(planes) * sampleBytes);
        return;
    }
    auto channel = [&](int32_t x, int32_t c) {
        if (sameSize) return sampleIn(r0, depth, channels, x, c);
        const float fx = std::clamp((float(x) + 0.5f) * float(width) / float(w) - 0.5f, 0.0f, float(width - 1));
        const int32_t x0 = int32_t(fx);
        const int32_t x1 = std::min(x0 + 1, width - 1);
        const float tx = fx - float(x0);
        const float top = sampleIn(r0, depth, channels, x0, c) +
                          tx * (sampleIn(r0, depth, channels, x1, c) - sampleIn(r0, depth, channels, x0, c));
        const float bottom = sampleIn(r1, depth, channels, x0, c) +
                             tx * (sampleIn(r1, depth, channels, x1, c) - sampleIn(r1, depth, channels, x0, c));
        return top + ty * (bottom - top);
    };
    const bool colour = channels >= 3;
    const bool alpha = channels == 2 || channels == 4;
    for (int32_t x = 0; x < w; ++x) {
        uint8_t* px = row + size_t(x) * size_t(planes) * sampleBytes;
        float rgba[4];
        for (int32_t c = 0; c < 3; ++c) rgba[c] = channel(x, colour ? c : 0);
        rgba[3] = alpha ? channel(x, channels - 1) : 1.0f;
        if (!shape.layer) {
            // No transparency plane: flattened over the white background.
            for (int c = 0; c < 3; ++c) rgba[c] = rgba[c] * rgba[3] + (1.0f - rgba[3]);
        }
        if (shape.grey)
            host::storeHostValue(px, shape.depth, luminance(rgba[0], rgba[1], rgba[2]));
        else
            for (int32_t c = 0; c < 3; ++c) host::storeHostValue(px + size_t(c) * sampleBytes, shape.depth, rgba[c]);
        if (shape.layer) host::storeHostValue(px + size_t(colourPlanes) * sampleBytes, shape.depth, rgba[3]);
    }
}

}  // namespace

void hostRowOf(const HostImageShape& shape, const Image* source, int32_t y, uint8_t* row) {
    if (!source) {
        // Black, and a new layer is empty: every sample 0.
        const int32_t planes = (shape.grey ? 1 : 3) + (shape.layer ? 1 : 0);
        std::memset(row, 0, size_t(shape.width) * size_t(planes) * size_t(shape.depth / 8));
        return;
    }
    const Image& im = *source;
    hostRowFrom(shape, im.width, im.height, im.channels, im.depth,
                [&im](int32_t sy) { return im.data.data() + size_t(sy) * im.rowBytes(); }, y, row);
}

const uint8_t* SourceRows::row(int32_t y) {
    if (y < first_ || !error_.empty()) return nullptr;
    // Rows before y - 1 are no longer asked for.
    while (!rows_.empty() && first_ < y - 1) {
        rows_.erase(rows_.begin());
        ++first_;
    }
    if (rows_.empty()) first_ = std::max(first_, 0);
    while (first_ + int32_t(rows_.size()) <= y) {
        std::vector<uint8_t> next(reader_.rowBytes());
        if (!reader_.readRows(next.data(), 1, &error_)) {
            if (error_.empty()) error_ = "the source could not be read";
            return nullptr;
        }
        rows_.push_back(std::move(next));
        // Keep at most the two rows a host row reads.
        if (rows_.size() > 2) {
            rows_.erase(rows_.begin());
            ++first_;
        }
    }
    return rows_[size_t(y - first_)].data();
}

void hostRowOf(const HostImageShape& shape, SourceRows& source, int32_t y, uint8_t* row) {
    ImageReader& r = source.reader();
    hostRowFrom(shape, r.width(), r.height(), r.channels(), r.depth(), [&source](int32_t sy) { return source.row(sy); },
                y, row);
}

host::HostImage makeHostImage(const HostImageShape& shape, const Image* source) {
    host::HostImage image = host::blankImage(shape.width, shape.height, shape.depth, shape.grey, false);
    image.transparency = shape.layer;
    image.pixels.resize(image.rowBytes() * size_t(image.height));
    for (int32_t y = 0; y < image.height; ++y) hostRowOf(shape, source, y, image.pixels.data() + size_t(y) * image.rowBytes());
    return image;
}

bool makeSelection(const Image& mask, int32_t width, int32_t height, host::Selection& selection, std::string* error) {
    if (!maskFits(mask, width, height, error)) return false;
    selection.width = width;
    selection.height = height;
    selection.mask.assign(size_t(width) * size_t(height), 0);
    bool any = false;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            float p[4];
            pixelOf(mask, x, y, width, height, p);
            const float v = std::clamp(luminance(p[0], p[1], p[2]) * std::clamp(p[3], 0.0f, 1.0f), 0.0f, 1.0f);
            const uint8_t byte = uint8_t(std::nearbyint(v * 255.0f));
            selection.mask[size_t(y) * size_t(width) + size_t(x)] = byte;
            any = any || byte != 0;
        }
    if (!any) return fail(error, "the mask selects no pixels");
    return true;
}

Image fileImageOf(const host::HostImage& image) {
    Image out;
    const int32_t channels = image.planes();
    if (!out.allocate(image.width, image.height, channels, image.depth)) return out;  // empty: beyond a file image
    const size_t samples = size_t(image.width) * size_t(image.height) * size_t(channels);
    if (image.depth == 16) {
        for (size_t i = 0; i < samples; ++i) {
            uint16_t v;
            std::memcpy(&v, image.pixels.data() + 2 * i, 2);
            const uint16_t s = fileSample16(v);
            std::memcpy(out.data.data() + 2 * i, &s, 2);
        }
    } else {
        std::memcpy(out.data.data(), image.pixels.data(), std::min(out.data.size(), image.pixels.size()));
    }
    return out;
}

pi::MemoryDescriptor descriptorOf(const ParamRecord& record) {
    pi::MemoryDescriptor d;
    SettingsToDescriptor out(d);
    writeSettings(record, SettingsWriteMode::Scripting, out);
    return d;
}

bool runModule(const PluginRenderRequest& request, host::HostImage& image, host::ImageRows* rows,
               const host::Selection* selection, const ModuleRunHooks& hooks, int16_t& result, std::string* error,
               std::string* warning) {
    result = 0;
    host::PluginModule module;
    std::string why;
    const std::string path = request.pluginPath.empty() ? host::defaultPluginPath() : request.pluginPath;
    if (!host::loadPlugin(path, module, &why)) return fail(error, "cannot load the plug-in: " + why);
    if (request.threads > 0 && host::pluginWorkerThreads(module, request.threads) < 0) {
        host::unloadPlugin(module);
        return fail(error, "the plug-in " + path + " cannot be given a thread count");
    }

    // Runs of the module in one working folder take turns: the settings placed
    // for this run's module in the cached settings file, the file the module
    // writes back and the recorded descriptor are this run's alone until it
    // ends (another process's run would otherwise render them).
    const platform::FolderLock turn(kFilterRunLock);

    // The settings: a descriptor as given, or a record brought across by the
    // way that keeps it whole; without either, the last run's settings.
    host::FilterSession session;
    host::RunRequest run;
    PlacedSettings placed;
    std::optional<ParamRecord> record = request.record;
    if (!request.settings && !record) record = lastRunSettings(warning);
    if (request.settings) {
        run.descriptor = request.settings;
    } else if (record) {
        const SettingsPlay play = planSettingsPlay(*record);
        if (!play.loss.empty() && warning)
            *warning = "these settings reach the module through its settings file, which keeps light, axis and "
                       "centre to its own precision: " + play.loss;
        if (play.viaDescriptor) {
            run.descriptor = play.descriptor;
        } else if (!placed.place(play.cachedFile, &why)) {
            host::unloadPlugin(module);
            return fail(error, why);
        }
    }
    host::HostOptions options;
    options.playInfo = request.interactive ? pi::plugInDialogDisplay : pi::plugInDialogSilent;
    options.interrupt = request.interrupt;
    options.progress = hooks.progress;
    // On the screen this host offers its own colour picker; a replay's host offers none.
    if (request.interactive && platform::dialogPeerChoice().kind == platform::DialogPeerChoice::Native)
        options.colourPicker = [](const std::string& prompt, uint8_t rgb[3]) {
            return platform::chooseColourNative(prompt, rgb);
        };

    host::RunReport report;
    {
        std::optional<host::FilterHost> filter;
        if (rows)
            filter.emplace(module, session, image, *rows, selection, options);
        else
            filter.emplace(module, session, image, selection, options);
        if (hooks.filterRect) hooks.filterRect(filter->filterRect());
        run.interactive = request.interactive;
        result = filter->run(run, report);
    }
    host::unloadPlugin(module);
    if (result == pi::userCanceledErr)
        return fail(error, request.interactive ? "cancelled (-128); nothing was written"
                                               : "the render was cancelled (-128); nothing was written");
    if (result != 0)
        return fail(error, std::string("the plug-in failed at ") + selectorName(report.failedSelector) + ": " +
                               host::resultMeaning(result));
    placed.keep();  // the module has written its own over it

    if (session.recorded && !host::saveRecordedDescriptor(*session.recorded, &why) && warning)
        *warning = "the settings of this run were not kept for the next one: " + why;
    return true;
}

bool renderThroughPlugin(const PluginRenderRequest& request, Image& out, std::string* error, std::string* warning) {
    HostImageShape shape;
    if (!resolveHostImage(request, shape, error)) return false;
    host::Selection selection;
    if (request.mask && !makeSelection(*request.mask, shape.width, shape.height, selection, error)) return false;
    host::HostImage image = makeHostImage(shape, request.source);
    ModuleRunHooks hooks;
    if (ProgressBar* bar = request.progress)
        hooks.progress = [bar](int32_t done, int32_t total) {
            if (total > 0) bar->update(int32_t(int64_t(done) * 1000 / total));
        };
    int16_t result = 0;
    if (!runModule(request, image, nullptr, request.mask ? &selection : nullptr, hooks, result, error, warning))
        return false;
    if (request.progress) request.progress->finish();
    out = fileImageOf(image);
    return out.data.empty() ? fail(error, "the image is too large for an image file") : true;
}

}  // namespace tv::cli
