#include "plugin_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cli_common.h"
#include "params/settings_writer.h"
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
    const Image* source = request.source;
    shape = HostImageShape{};
    if (request.width > 0 && request.height > 0) {
        shape.width = request.width;
        shape.height = request.height;
    } else if (source) {
        shape.width = source->width;
        shape.height = source->height;
    } else {
        shape.width = shape.height = kDefaultSide;
    }
    shape.depth = request.depth != 0 ? request.depth : (source ? source->depth : 8);
    if (shape.depth != 8 && shape.depth != 16 && shape.depth != 32)
        return fail(error, "bad depth " + std::to_string(shape.depth) + " (expected 8, 16 or 32)");
    shape.grey = request.grey || (source && source->channels <= 2);
    shape.layer = request.layer;
    if (request.mask && !maskFits(*request.mask, shape.width, shape.height, error)) return false;
    const int32_t planes = (shape.grey ? 1 : 3) + (shape.layer ? 1 : 0);
    std::string why;
    if (!host::checkImageSize(shape.width, shape.height, planes, shape.depth, &why)) return fail(error, why);
    // The result becomes an image file of the command line.
    if (shape.width > kMaxImageSide || shape.height > kMaxImageSide ||
        int64_t(shape.width) * shape.height > kMaxImagePixels)
        return fail(error, "a " + std::to_string(shape.width) + "x" + std::to_string(shape.height) +
                               " image is too large for an image file (at most " + std::to_string(kMaxImageSide) +
                               " pixels a side and " + std::to_string(kMaxImagePixels) + " in all)");
    return true;
}

host::HostImage makeHostImage(const HostImageShape& shape, const Image* source) {
    host::HostImage image = host::blankImage(shape.width, shape.height, shape.depth, shape.grey, false);
    if (!source) {
        // Black, and a new layer is empty: every sample 0.
        image.transparency = shape.layer;
        if (shape.layer) image.pixels.assign(image.rowBytes() * size_t(image.height), 0);
        return image;
    }
    image.transparency = shape.layer;
    image.pixels.resize(image.rowBytes() * size_t(image.height));
    const int32_t alphaPlane = image.colourPlanes;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            float rgba[4];
            pixelOf(*source, x, y, image.width, image.height, rgba);
            if (!shape.layer) {
                // No transparency plane: flattened over the white background.
                for (int c = 0; c < 3; ++c) rgba[c] = rgba[c] * rgba[3] + (1.0f - rgba[3]);
            }
            if (shape.grey)
                image.setValue(x, y, 0, luminance(rgba[0], rgba[1], rgba[2]));
            else
                for (int32_t c = 0; c < 3; ++c) image.setValue(x, y, c, rgba[c]);
            if (shape.layer) image.setValue(x, y, alphaPlane, rgba[3]);
        }
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

bool renderThroughPlugin(const PluginRenderRequest& request, Image& out, std::string* error, std::string* warning) {
    HostImageShape shape;
    if (!resolveHostImage(request, shape, error)) return false;
    host::Selection selection;
    if (request.mask && !makeSelection(*request.mask, shape.width, shape.height, selection, error)) return false;
    host::HostImage image = makeHostImage(shape, request.source);

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
    if (ProgressBar* bar = request.progress)
        options.progress = [bar](int32_t done, int32_t total) {
            if (total > 0) bar->update(int32_t(int64_t(done) * 1000 / total));
        };

    host::RunReport report;
    int16_t result;
    {
        host::FilterHost filter(module, session, image, request.mask ? &selection : nullptr, options);
        run.interactive = request.interactive;
        result = filter.run(run, report);
    }
    host::unloadPlugin(module);
    if (result == pi::userCanceledErr)
        return fail(error, request.interactive ? "cancelled (-128); nothing was written"
                                               : "the render was cancelled (-128); nothing was written");
    if (result != 0)
        return fail(error, std::string("the plug-in failed at ") + selectorName(report.failedSelector) + ": " +
                               host::resultMeaning(result));
    if (request.progress) request.progress->finish();
    placed.keep();  // the module has written its own over it

    if (session.recorded && !host::saveRecordedDescriptor(*session.recorded, &why) && warning)
        *warning = "the settings of this run were not kept for the next one: " + why;
    out = fileImageOf(image);
    return out.data.empty() ? fail(error, "the image is too large for an image file") : true;
}

}  // namespace tv::cli
