// The host's filter record, advanceState over the in-memory image, and the
// selector sequence of a run.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "host.h"
#include "host_internal.h"
#include "platform/clock.h"
#include "platform/display_context.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/module_loader.h"
#include "platform/window.h"

namespace tv::host {

namespace {

FilterHost* gCurrent = nullptr;

pi::OSErr advanceStateProc() { return gCurrent ? gCurrent->advanceState() : pi::filterBadParameters; }
pi::Boolean abortProc() { return gCurrent ? gCurrent->abortRequested() : 0; }
pi::OSErr colorServicesProc(pi::ColorServicesInfo* info) {
    return gCurrent && info ? gCurrent->colorServices(*info) : pi::paramErr;
}
void progressProc(pi::int32 done, pi::int32 total) {
    if (gCurrent) gCurrent->progress(done, total);
}
// The preview on the dialog's display surface, through the platform's native
// context (a device context on Windows, as a paint program gets).
pi::OSErr displayPixelsProc(const pi::PSPixelMap* source, const pi::VRect* srcRect, pi::int32 dstRow,
                            pi::int32 dstCol, void* platformContext) {
    if (!source || !srcRect || !platformContext || !source->baseAddr) return pi::noErr;
    const bool grey = source->imageMode == pi::kModeGrayScale || source->imageMode == pi::kModeGray16;
    const auto* base = static_cast<const uint8_t*>(source->baseAddr);
    const pi::VRect& b = source->bounds;
    const int32_t top = std::max(srcRect->top, b.top), bottom = std::min(srcRect->bottom, b.bottom);
    const int32_t left = std::max(srcRect->left, b.left), right = std::min(srcRect->right, b.right);
    if (bottom <= top || right <= left) return pi::noErr;
    const int32_t width = right - left, height = bottom - top;
    std::vector<uint32_t> rows(size_t(width) * size_t(height));
    for (int32_t y = top; y < bottom; ++y) {
        uint32_t* out = rows.data() + size_t(y - top) * size_t(width);
        for (int32_t x = left; x < right; ++x) {
            const ptrdiff_t at = ptrdiff_t(y - b.top) * source->rowBytes + ptrdiff_t(x - b.left) * source->colBytes;
            uint32_t rgb[3];
            for (int c = 0; c < 3; ++c) rgb[c] = base[at + (grey ? 0 : c) * ptrdiff_t(source->planeBytes)];
            out[x - left] = 0xFF000000u | (rgb[0] << 16) | (rgb[1] << 8) | rgb[2];
        }
    }
    platform::drawOnDisplayContext(platformContext, rows.data(), width, height, width, dstCol + (left - srcRect->left),
                                   dstRow + (top - srcRect->top));
    return pi::noErr;
}
void processEventProc(void*) {}

pi::int16 clamp16(int32_t v) { return pi::int16(std::clamp(v, -32768, 32767)); }
pi::Rect16 toRect16(const Rect& r) { return {clamp16(r.top), clamp16(r.left), clamp16(r.bottom), clamp16(r.right)}; }

int16_t imageModeOf(const HostImage& image) {
    const bool grey = image.colourPlanes == 1;
    switch (image.depth) {
        case 16: return grey ? pi::kModeGray16 : pi::kModeRGB48;
        case 32: return grey ? pi::kModeGray32 : pi::kModeRGB96;
        default: return grey ? pi::kModeGrayScale : pi::kModeRGBColor;
    }
}

// Bounds of the selected pixels; empty when nothing is selected.
Rect selectionBounds(const Selection& s) {
    Rect b{s.height, s.width, 0, 0};
    for (int32_t y = 0; y < s.height; ++y)
        for (int32_t x = 0; x < s.width; ++x)
            if (s.mask[size_t(y) * size_t(s.width) + size_t(x)]) {
                b.top = std::min(b.top, y);
                b.left = std::min(b.left, x);
                b.bottom = std::max(b.bottom, y + 1);
                b.right = std::max(b.right, x + 1);
            }
    return b.empty() ? Rect{} : b;
}

}  // namespace

float HostImage::value(int32_t x, int32_t y, int32_t plane) const {
    const uint8_t* p = sample(x, y, plane);
    switch (depth) {
        case 8: return float(*p) / 255.0f;
        case 16: {
            uint16_t v;
            std::memcpy(&v, p, 2);
            return float(v) / 32768.0f;
        }
        default: {
            float v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
}

void HostImage::setValue(int32_t x, int32_t y, int32_t plane, float v) {
    storeHostValue(sample(x, y, plane), depth, v);
}

void storeHostValue(uint8_t* p, int32_t depth, float v) {
    switch (depth) {
        case 8: *p = uint8_t(std::clamp(std::nearbyint(v * 255.0f), 0.0f, 255.0f)); break;
        case 16: {
            const uint16_t s = uint16_t(std::clamp(std::nearbyint(v * 32768.0f), 0.0f, 32768.0f));
            std::memcpy(p, &s, 2);
            break;
        }
        default: std::memcpy(p, &v, 4); break;
    }
}

HostImage blankImage(int32_t width, int32_t height, int32_t depth, bool grey, bool transparency) {
    HostImage image;
    image.width = width;
    image.height = height;
    image.depth = depth;
    image.colourPlanes = grey ? 1 : 3;
    image.transparency = transparency;
    image.pixels.assign(image.rowBytes() * size_t(height), 0);
    if (transparency)
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) image.setValue(x, y, image.colourPlanes, 1.0f);
    return image;
}

bool checkImageSize(int32_t width, int32_t height, int32_t planes, int32_t depth, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (width < 1 || height < 1) return fail("the image is empty");
    if (width > kMaxDocumentSide || height > kMaxDocumentSide)
        return fail("the image is larger than " + std::to_string(kMaxDocumentSide) + " pixels a side");
    const int64_t rowBytes = int64_t(width) * planes * (depth / 8);
    if (rowBytes > INT32_MAX) return fail("an image row is larger than the interface allows");
    if (rowBytes * height > (int64_t(1) << 34)) return fail("the image is too large for this host's memory");
    return true;
}

std::string defaultPluginPath() {
    // Beside the executable (the build folder), else where an installation
    // puts it: lib/terravane/ beside the executable's bin/ folder.
    const std::string folder = platform::executableFolder();
    const std::string beside = platform::joinPath(folder, platform::pluginModuleFileName());
    if (platform::fileExists(beside)) return beside;
    const std::string installed = platform::joinPath(
        platform::joinPath(platform::joinPath(platform::folderOf(folder), "lib"), "terravane"),
        platform::pluginModuleFileName());
    return platform::fileExists(installed) ? installed : beside;
}

bool loadPlugin(const std::string& path, PluginModule& module, std::string* error) {
    unloadPlugin(module);
    module.path = path;
    module.handle = platform::loadModule(path, error);
    if (!module.handle) return false;
    size_t size = 0;
    const uint8_t* pipl = platform::moduleResource(module.handle, pi::kPropertyListType, pi::kPropertyListResourceId, &size);
    std::string why;
    if (!pipl || !pi::parsePropertyList(pipl, size, module.info, &why)) {
        if (error) *error = path + ": no readable plug-in property list" + (why.empty() ? "" : " (" + why + ")");
        unloadPlugin(module);
        return false;
    }
    if (module.info.kind != pi::fourCC('8', 'B', 'F', 'M') || module.info.entryPoint.empty()) {
        if (error) *error = path + ": not a filter plug-in";
        unloadPlugin(module);
        return false;
    }
    if (module.info.hasTerminology) {
        const uint8_t* aete = platform::moduleResource(module.handle, pi::kTerminologyType, module.info.terminologyId, &size);
        if (!aete || !pi::parseTerminology(aete, size, module.terminology, &why)) {
            if (error) *error = path + ": unreadable terminology (" + why + ")";
            unloadPlugin(module);
            return false;
        }
    }
    module.workerThreads = reinterpret_cast<int (*)(int)>(platform::moduleSymbol(module.handle, "TerravaneWorkerThreads"));
    module.entry = reinterpret_cast<pi::PluginEntryProc>(platform::moduleSymbol(module.handle, module.info.entryPoint.c_str()));
    if (!module.entry) {
        if (error) *error = path + ": entry point " + module.info.entryPoint + " not found";
        unloadPlugin(module);
        return false;
    }
    return true;
}

void unloadPlugin(PluginModule& module) {
    if (module.handle) platform::unloadModule(module.handle);
    module.handle = nullptr;
    module.entry = nullptr;
    module.workerThreads = nullptr;
}

int32_t pluginWorkerThreads(PluginModule& module, int32_t n) {
    return module.workerThreads ? module.workerThreads(n) : -1;
}

namespace {

// The rows of an image held whole in memory.
class WholeImageRows : public ImageRows {
public:
    explicit WholeImageRows(HostImage& image) : image_(image) {}
    uint8_t* row(int32_t y) override {
        return y >= 0 && y < image_.height ? image_.pixels.data() + size_t(y) * image_.rowBytes() : nullptr;
    }

private:
    HostImage& image_;
};

}  // namespace

FilterSession::~FilterSession() {
    // disposeHostHandle ignores what is not a live handle of this host.
    disposeHostHandle(parameters);
    disposeHostHandle(reinterpret_cast<pi::Handle>(data));
}

FilterHost::FilterHost(PluginModule& module, FilterSession& session, HostImage& image, const Selection* selection,
                       const HostOptions& options)
    : module_(module), session_(session), image_(image), selection_(selection), options_(options) {
    ownRows_ = std::make_unique<WholeImageRows>(image);
    rows_ = ownRows_.get();
    setUpRecord();
}

FilterHost::FilterHost(PluginModule& module, FilterSession& session, const HostImage& shape, ImageRows& rows,
                       const Selection* selection, const HostOptions& options)
    : module_(module), session_(session), image_(shape), rows_(&rows), selection_(selection), options_(options) {
    setUpRecord();
}

uint8_t* FilterHost::sample(int32_t x, int32_t y, int32_t plane) {
    uint8_t* row = rows_->row(y);
    if (!row) return nullptr;
    return row + (size_t(x) * size_t(image_.planes()) + size_t(plane)) * size_t(image_.sampleBytes());
}

void FilterHost::setUpRecord() {
    const HostImage& image = image_;
    const Selection* selection = selection_;
    const HostOptions& options = options_;
    FilterSession& session = session_;
    pi::FilterRecord& r = record_;
    const bool transparency = image.transparency;
    const bool masked = selection && !selection->mask.empty();
    r.serialNumber = 0;
    r.abortProc = abortProc;
    r.progressProc = progressProc;
    r.parameters = session.parameters;
    r.imageSize = {clamp16(image.height), clamp16(image.width)};
    r.planes = pi::int16(image.planes());
    Rect filter{0, 0, image.height, image.width};
    if (masked) filter = selectionBounds(*selection);
    if (options.filterRect) filter = *options.filterRect;
    r.filterRect = toRect16(filter);
    r.background = {65535, 65535, 65535};
    r.foreground = {0, 0, 0};
    r.maxSpace = options.maxSpace;
    r.isFloating = options.floating ? 1 : 0;
    r.haveMask = masked ? 1 : 0;
    r.hostSig = options.hostSig;
    r.imageMode = imageModeOf(image);
    r.imageHRes = r.imageVRes = 72 << 16;
    r.floatCoord = {clamp16(options.floatY), clamp16(options.floatX)};
    r.wholeSize = r.imageSize;
    r.monitor.gamma = (18 << 16) / 10;
    platformData_.hwnd = options.parentWindow;
    r.platformData = &platformData_;
    r.bufferProcs = options.bufferSuite ? hostBufferProcs() : nullptr;
    r.processEvent = processEventProc;
    r.displayPixels = options.displayPixels ? displayPixelsProc : nullptr;
    r.handleProcs = hostHandleProcs();
    r.supportsDummyChannels = 0;
    r.filterCase = transparency ? (masked ? pi::kFilterCaseEditableTransparencyWithSelection
                                          : pi::kFilterCaseEditableTransparencyNoSelection)
                                : (options.floating ? pi::kFilterCaseFloatingSelection
                                                    : (masked ? pi::kFilterCaseFlatImageWithSelection
                                                              : pi::kFilterCaseFlatImageNoSelection));
    r.advanceState = options.advanceState ? advanceStateProc : nullptr;
    r.supportsPadding = 1;
    r.samplingSupport = options.samplingSupport;
    r.colorServices = options.colourPicker ? colorServicesProc : nullptr;
    r.inLayerPlanes = r.outLayerPlanes = pi::int16(image.colourPlanes);
    r.inTransparencyMask = r.outTransparencyMask = transparency ? 1 : 0;
    r.inNonLayerPlanes = r.outNonLayerPlanes = 0;
    descriptorParameters_.descriptorParametersVersion = pi::kCurrentDescriptorParametersVersion;
    descriptorParameters_.playInfo = options.playInfo;
    descriptorParameters_.recordInfo = pi::plugInDialogOptional;
    descriptorParameters_.readDescriptorProcs = hostReadProcs();
    descriptorParameters_.writeDescriptorProcs = hostWriteProcs();
    r.descriptorParameters = options.descriptors ? &descriptorParameters_ : nullptr;
    r.depth = image.depth;
    const bool big = options.bigDocument || image.width > kMaxSmallDocument || image.height > kMaxSmallDocument;
    if (big) {
        bigDocument_.PluginUsing32BitCoordinates = 1;
        bigDocument_.imageSize32 = {image.height, image.width};
        bigDocument_.filterRect32 = {filter.top, filter.left, filter.bottom, filter.right};
        bigDocument_.floatCoord32 = {options.floatY, options.floatX};
        bigDocument_.wholeSize32 = bigDocument_.imageSize32;
        r.bigDocumentData = &bigDocument_;
    }
    r.maxSpace64 = options.maxSpace;
    gCurrent = this;
}

FilterHost::~FilterHost() {
    flushOutput();
    if (descriptorParameters_.descriptor) disposeHostHandle(descriptorParameters_.descriptor);
    if (gCurrent == this) gCurrent = nullptr;
}

void FilterHost::offerDescriptor(const std::optional<pi::MemoryDescriptor>& descriptor) {
    if (descriptorParameters_.descriptor) disposeHostHandle(descriptorParameters_.descriptor);
    descriptorParameters_.descriptor = descriptor ? newHandleWith(pi::encodeDescriptor(*descriptor)) : nullptr;
}

std::optional<pi::MemoryDescriptor> FilterHost::currentDescriptor() const {
    if (!descriptorParameters_.descriptor) return std::nullopt;
    const std::vector<uint8_t> bytes = handleBytes(descriptorParameters_.descriptor);
    pi::MemoryDescriptor d;
    if (!pi::decodeDescriptor(bytes.data(), bytes.size(), d)) return std::nullopt;
    return d;
}

Rect FilterHost::readRect(const pi::Rect16& small, const pi::VRect& big) const {
    if (record_.bigDocumentData && record_.bigDocumentData->PluginUsing32BitCoordinates)
        return {big.top, big.left, big.bottom, big.right};
    return {small.top, small.left, small.bottom, small.right};
}

void FilterHost::flushOutput() {
    if (!outPending_) return;
    outPending_ = false;
    const Rect& o = pendingOut_;
    const int32_t planes = pendingHi_ - pendingLo_ + 1;
    const int32_t bytes = image_.sampleBytes();
    const Rect clipped{std::max(o.top, 0), std::max(o.left, 0), std::min(o.bottom, image_.height),
                       std::min(o.right, image_.width)};
    if (clipped.empty()) return;
    const size_t pixelBytes = size_t(planes) * size_t(bytes);
    for (int32_t y = clipped.top; y < clipped.bottom; ++y) {
        uint8_t* to = sample(clipped.left, y, pendingLo_);
        if (!to) continue;  // a row already handed on: nothing to write it into
        const uint8_t* from = outBuffer_.data() + (size_t(y - o.top) * size_t(o.width()) + size_t(clipped.left - o.left)) * pixelBytes;
        const size_t step = size_t(image_.planes()) * size_t(bytes);
        if (planes == image_.planes()) {
            std::memcpy(to, from, size_t(clipped.width()) * pixelBytes);
        } else {
            for (int32_t x = clipped.left; x < clipped.right; ++x, to += step, from += pixelBytes)
                std::memcpy(to, from, pixelBytes);
        }
    }
    rows_->stored(clipped);
}

namespace {

// count pixels of pixelBytes each, taken step bytes apart, packed together.
void copyRun(uint8_t* to, const uint8_t* from, size_t count, size_t pixelBytes, size_t step) {
    if (pixelBytes == step) {
        std::memcpy(to, from, count * pixelBytes);
    } else if (pixelBytes == 1) {
        for (size_t i = 0; i < count; ++i) to[i] = from[i * step];
    } else {
        for (size_t i = 0; i < count; ++i) std::memcpy(to + i * pixelBytes, from + i * step, pixelBytes);
    }
}

}  // namespace

pi::OSErr FilterHost::advanceState() {
    const double started = platform::monotonicSeconds();
    flushOutput();
    pi::FilterRecord& r = record_;
    const pi::BigDocumentStruct& b = bigDocument_;
    const Rect in = readRect(r.inRect, b.inRect32);
    const Rect out = readRect(r.outRect, b.outRect32);
    const Rect mask = readRect(r.maskRect, b.maskRect32);
    report_.tilesRequested++;
    report_.inRects.push_back(in);
    report_.outRects.push_back(out);
    const int32_t bytes = image_.sampleBytes();
    const int32_t last = image_.planes() - 1;
    auto planeRange = [&](int16_t lo, int16_t hi, int32_t& a, int32_t& z) {
        a = std::clamp<int32_t>(lo, 0, last);
        z = std::clamp<int32_t>(hi, a, last);
    };
    auto rate = [](pi::Fixed f) { return std::max(1, int32_t(f >> 16)); };
    // A sampled coordinate back in the image, edges replicated.
    auto sampled = [](int32_t v, int32_t f, int32_t size) {
        return int32_t(std::clamp<int64_t>(int64_t(v) * f, 0, size - 1));
    };
    // Room for a rectangle whose rows the interface describes in 32-bit row
    // bytes; false when the rows or the whole would not fit, or memory is short.
    auto fit = [](std::vector<uint8_t>& buffer, const Rect& rect, int32_t planes, int32_t sampleBytes) {
        const int64_t row = (int64_t(rect.right) - rect.left) * planes * sampleBytes;
        const int64_t height = int64_t(rect.bottom) - rect.top;
        if (row > INT32_MAX || row * height > INT32_MAX) return false;
        try {
            buffer.resize(size_t(row * height));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    };

    // Input: the rectangle in sampled coordinates, edges replicated.
    r.inData = nullptr;
    if (!in.empty()) {
        int32_t lo, hi;
        planeRange(r.inLoPlane, r.inHiPlane, lo, hi);
        const int32_t n = hi - lo + 1, f = rate(r.inputRate);
        if (!fit(inBuffer_, in, n, bytes)) return pi::memFullErr;
        const size_t pixelBytes = size_t(n) * size_t(bytes), rowBytes = size_t(in.width()) * pixelBytes;
        for (int32_t y = in.top; y < in.bottom; ++y) {
            const int32_t sy = sampled(y, f, image_.height);
            uint8_t* row = inBuffer_.data() + size_t(y - in.top) * rowBytes;
            const uint8_t* from = sample(0, sy, lo);
            if (!from) return pi::memFullErr;  // a row the host cannot hold (or no longer holds)
            const size_t step = size_t(image_.planes()) * size_t(bytes);
            // The pixels whose samples lie inside the image are one run of
            // the row, f pixels of the image apart.
            const int32_t inside = image_.width > 0 ? (image_.width - 1) / f + 1 : 0;
            const int32_t runLeft = std::clamp(in.left, 0, inside);
            const int32_t runRight = std::clamp(in.right, runLeft, inside);
            for (int32_t x = in.left; x < in.right; ++x) {
                if (x == runLeft && runLeft < runRight) {
                    copyRun(row + size_t(x - in.left) * pixelBytes, from + size_t(x) * size_t(f) * step,
                            size_t(runRight - x), pixelBytes, step * size_t(f));
                    x = runRight - 1;
                    continue;
                }
                std::memcpy(row + size_t(x - in.left) * pixelBytes, from + size_t(sampled(x, f, image_.width)) * step,
                            pixelBytes);
            }
        }
        r.inData = inBuffer_.data();
        r.inRowBytes = pi::int32(rowBytes);
    }

    // Output: the current pixels of the rectangle, written back at the next call.
    r.outData = nullptr;
    if (!out.empty()) {
        int32_t lo, hi;
        planeRange(r.outLoPlane, r.outHiPlane, lo, hi);
        const int32_t n = hi - lo + 1;
        if (!fit(outBuffer_, out, n, bytes)) return pi::memFullErr;
        const size_t pixelBytes = size_t(n) * size_t(bytes), rowBytes = size_t(out.width()) * pixelBytes;
        for (int32_t y = out.top; y < out.bottom; ++y) {
            const int32_t sy = std::clamp(y, 0, image_.height - 1);
            uint8_t* row = outBuffer_.data() + size_t(y - out.top) * rowBytes;
            const uint8_t* from = sample(0, sy, lo);
            if (!from) return pi::memFullErr;  // a row the host cannot hold (or no longer holds)
            const size_t step = size_t(image_.planes()) * size_t(bytes);
            const int32_t runLeft = std::clamp(out.left, 0, image_.width);
            const int32_t runRight = std::clamp(out.right, runLeft, image_.width);
            for (int32_t x = out.left; x < out.right; ++x) {
                if (x == runLeft && runLeft < runRight) {
                    copyRun(row + size_t(x - out.left) * pixelBytes, from + size_t(x) * step, size_t(runRight - x),
                            pixelBytes, step);
                    x = runRight - 1;
                    continue;
                }
                std::memcpy(row + size_t(x - out.left) * pixelBytes, from + size_t(std::clamp(x, 0, image_.width - 1)) * step,
                            pixelBytes);
            }
        }
        r.outData = outBuffer_.data();
        r.outRowBytes = pi::int32(rowBytes);
        pendingOut_ = out;
        pendingLo_ = lo;
        pendingHi_ = hi;
        outPending_ = true;
    }

    // Selection mask, one byte per pixel at the mask rate.
    r.maskData = nullptr;
    if (r.haveMask && selection_ && !mask.empty()) {
        const int32_t f = rate(r.maskRate);
        if (!fit(maskBuffer_, mask, 1, 1)) return pi::memFullErr;
        for (int32_t y = mask.top; y < mask.bottom; ++y) {
            const int32_t sy = sampled(y, f, selection_->height);
            for (int32_t x = mask.left; x < mask.right; ++x)
                maskBuffer_[size_t(y - mask.top) * size_t(mask.width()) + size_t(x - mask.left)] =
                    selection_->mask[size_t(sy) * size_t(selection_->width) + size_t(sampled(x, f, selection_->width))];
        }
        r.maskData = maskBuffer_.data();
        r.maskRowBytes = mask.width();
    }
    report_.transferSeconds += platform::monotonicSeconds() - started;
    return pi::noErr;
}

pi::Boolean FilterHost::abortRequested() {
    if (options_.interrupt && options_.interrupt->interrupted()) return 1;
    if (options_.cancelAfterTiles >= 0 && report_.tilesRequested >= options_.cancelAfterTiles) return 1;
    if (options_.abort && options_.abort()) return 1;
    return 0;
}

void FilterHost::progress(int32_t done, int32_t total) {
    if (options_.progress) options_.progress(done, total);
}

int16_t FilterHost::call(int16_t selector) {
    gCurrent = this;
    int16_t result = 0;
    record_.parameters = session_.parameters;
    module_.entry(selector, &record_, &session_.data, &result);
    session_.parameters = record_.parameters;
    if (selector == pi::kSelectorStart || selector == pi::kSelectorContinue || result != 0) flushOutput();
    return result;
}

pi::OSErr FilterHost::colorServices(pi::ColorServicesInfo& info) {
    if (!options_.colourPicker || info.infoSize < pi::kColorServicesInfoSize) return pi::paramErr;
    if (info.selector != pi::plugIncolorServicesChooseColor || info.sourceSpace != pi::plugIncolorServicesRGBSpace ||
        info.resultSpace != pi::plugIncolorServicesRGBSpace)
        return pi::paramErr;
    std::string prompt;
    if (const pi::Str255* p = info.selectorParameter.pickerPrompt) prompt.assign(reinterpret_cast<const char*>(*p) + 1, (*p)[0]);
    uint8_t rgb[3];
    for (int i = 0; i < 3; ++i) rgb[i] = uint8_t(std::clamp<int>(info.colorComponents[i], 0, 255));
    if (!options_.colourPicker(prompt, rgb)) return pi::userCanceledErr;
    for (int i = 0; i < 3; ++i) info.colorComponents[i] = rgb[i];
    return pi::noErr;
}

int16_t FilterHost::about() {
    pi::AboutRecord about{};
    about.platformData = &platformData_;
    int16_t result = 0;
    module_.entry(pi::kSelectorAbout, &about, &session_.data, &result);
    return result;
}

int16_t FilterHost::run(const RunRequest& request, RunReport& report) {
    const double started = platform::monotonicSeconds();
    report_ = RunReport{};
    offerDescriptor(request.descriptor ? request.descriptor : session_.recorded);
    auto step = [&](int16_t selector) {
        const int16_t result = call(selector);
        if (result != 0 && report_.failedSelector < 0) report_.failedSelector = selector;
        report_.result = result;
        return result;
    };
    int16_t result = 0;
    if (request.interactive) result = step(pi::kSelectorParameters);
    if (result == 0) {
        result = step(pi::kSelectorPrepare);
        report_.maxSpaceAfterPrepare = record_.maxSpace;
        report_.bufferSpaceAfterPrepare = record_.bufferSpace;
    }
    if (result == 0) result = step(pi::kSelectorStart);
    if (result == 0) result = step(pi::kSelectorContinue);
    if (result == 0) result = step(pi::kSelectorFinish);
    if (result == 0) {
        if (auto d = currentDescriptor()) session_.recorded = *d;
    }
    report_.seconds = platform::monotonicSeconds() - started;
    report = report_;
    return result;
}

bool saveRecordedDescriptor(const pi::MemoryDescriptor& d, std::string* error) {
    const std::vector<uint8_t> bytes = pi::encodeDescriptor(d);
    const std::string path = platform::workingFile(kRecordedDescriptorFile);
    platform::clearLastError();
    if (platform::writeFileAtomic(path, bytes.data(), bytes.size()) != platform::kFileOk) {
        const std::string why = platform::lastErrorText();
        if (error) *error = "cannot write " + path + (why.empty() ? "" : ": " + why);
        return false;
    }
    return true;
}

std::optional<pi::MemoryDescriptor> loadRecordedDescriptor(std::string* error) {
    const std::string path = platform::workingFile(kRecordedDescriptorFile);
    if (!platform::fileExists(path)) return std::nullopt;
    std::vector<uint8_t> bytes;
    pi::MemoryDescriptor d;
    if (!platform::readFile(path, bytes, pi::kMaxDescriptorBytes) ||
        !pi::decodeDescriptor(bytes.data(), bytes.size(), d)) {
        if (error) *error = "ignoring the damaged recorded settings in " + path;
        return std::nullopt;
    }
    return d;
}

std::string resultMeaning(int16_t result) {
    switch (result) {
        case 0: return "no error";
        case pi::memFullErr: return "not enough memory (-108)";
        case pi::userCanceledErr: return "cancelled by the user (-128)";
        case pi::filterBadParameters: return "the plug-in's parameters are missing or damaged (-30100)";
        case pi::filterBadMode: return "the plug-in does not support this image mode (-30101)";
        case pi::errMissingParameter: return "a scripting parameter is missing (-1715)";
        case 1: return "the plug-in refused to run on this image (1)";
        case 3: return "the plug-in could not allocate its working memory (3)";
        default:
            if (result > 0) return "the plug-in reported an error (" + std::to_string(result) + ")";
            return "error " + std::to_string(result);
    }
}

}  // namespace tv::host
