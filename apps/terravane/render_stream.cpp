#include "render_stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "cli_common.h"
#include "platform/interrupt.h"

namespace tv::cli {

BandRows::BandRows(int32_t height, size_t rowBytes, MakeRow make, TakeRow take)
    : height_(height), rowBytes_(rowBytes), make_(std::move(make)), take_(std::move(take)),
      done_(size_t(std::max(height, 0)), 0) {}

uint8_t* BandRows::row(int32_t y) {
    if (y < first_ || y >= height_ || stopped_) return nullptr;
    try {
        while (int32_t(held_.size()) <= y - first_) {
            std::vector<uint8_t> buffer;
            if (!spare_.empty()) {
                buffer = std::move(spare_.back());
                spare_.pop_back();
            }
            buffer.resize(rowBytes_);
            make_(first_ + int32_t(held_.size()), buffer.data());
            held_.push_back(std::move(buffer));
        }
    } catch (const std::bad_alloc&) {
        return nullptr;  // the host reports it to the module as a memory failure
    }
    peak_ = std::max(peak_, held_.size());
    return held_[size_t(y - first_)].data();
}

bool BandRows::complete(int32_t y) const {
    if (y < filter_.top || y >= filter_.bottom || filter_.empty()) return true;
    return done_[size_t(y)] >= filter_.width();
}

void BandRows::stored(const Rect& rect) {
    if (holding_) return;
    const int32_t left = std::max(rect.left, filter_.left), right = std::min(rect.right, filter_.right);
    if (right > left)
        for (int32_t y = std::max(rect.top, filter_.top); y < std::min(rect.bottom, filter_.bottom); ++y)
            done_[size_t(y)] += right - left;
    handOnReady(false);
}

void BandRows::handOnReady(bool all) {
    while (!stopped_ && first_ < height_ && (all || complete(first_))) {
        const uint8_t* r = row(first_);
        if (!r || !take_(first_, r)) {
            stopped_ = true;
            break;
        }
        spare_.push_back(std::move(held_.front()));
        held_.pop_front();
        // Keep a few buffers for the rows to come, not every one ever held.
        if (spare_.size() > 2 * size_t(kSpareRows)) spare_.resize(size_t(kSpareRows));
        ++first_;
    }
}

bool BandRows::finish() {
    handOnReady(true);
    held_.clear();
    spare_.clear();
    return !stopped_ && first_ == height_;
}

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Rows of the file, gathered into bands before they go to the writer.
class FileRows {
public:
    FileRows(ImageWriter& writer, const HostImageShape& shape, int32_t planes)
        : writer_(writer), depth_(shape.depth),
          samples_(size_t(shape.width) * size_t(planes)),
          rowBytes_(samples_ * size_t(shape.depth / 8)) {
        band_.resize(rowBytes_ * size_t(kBand));
    }

    // A host row: 16-bit samples go from 0..32768 to the file's 0..65535.
    bool add(const uint8_t* hostRow, std::string* error) {
        uint8_t* to = band_.data() + size_t(count_) * rowBytes_;
        if (depth_ == 16) {
            for (size_t i = 0; i < samples_; ++i) {
                uint16_t v;
                std::memcpy(&v, hostRow + 2 * i, 2);
                const uint16_t s = fileSample16(v);
                std::memcpy(to + 2 * i, &s, 2);
            }
        } else {
            std::memcpy(to, hostRow, rowBytes_);
        }
        return ++count_ < kBand || flush(error);
    }

    bool flush(std::string* error) {
        const int32_t n = count_;
        count_ = 0;
        return n == 0 || writer_.writeRows(band_.data(), n, error);
    }

private:
    static constexpr int32_t kBand = 32;
    ImageWriter& writer_;
    int32_t depth_;
    size_t samples_, rowBytes_;
    std::vector<uint8_t> band_;
    int32_t count_ = 0;
};

}  // namespace

bool renderToFile(const PluginRenderRequest& request, const std::string& path, ImageFormat format,
                  StreamedRender& outcome, std::string* error, std::string* warning) {
    outcome = StreamedRender{};
    HostImageShape shape;
    if (!resolveHostImage(request, shape, error)) return false;
    host::Selection selection;
    if (request.mask && !makeSelection(*request.mask, shape.width, shape.height, selection, error)) return false;
    const platform::InterruptWatch* interrupt = request.interrupt;
    auto interrupted = [interrupt] { return interrupt && interrupt->interrupted(); };
    auto cancelled = [&] {
        outcome.cancelled = true;
        return fail(error, path == "-" ? std::string("cancelled; the image on standard output is incomplete")
                                       : "cancelled; \"" + path + "\" was not written");
    };

    // The host image's shape; its rows live in the band.
    host::HostImage image;
    image.width = shape.width;
    image.height = shape.height;
    image.depth = shape.depth;
    image.colourPlanes = shape.grey ? 1 : 3;
    image.transparency = shape.layer;
    const int32_t planes = image.planes();

    ImageWriter writer;
    if (!writer.open(path, format, shape.width, shape.height, planes, shape.depth, error)) return false;
    FileRows fileRows(writer, shape, planes);

    // Progress: the lesser of the render's and the file's, so that the bar
    // reaches the end when the file does (in an interactive run, where the
    // file is written after the render, half each).
    ProgressBar* bar = request.progress;
    int32_t renderThousandths = 0, fileThousandths = 0;
    auto showProgress = [&] {
        if (bar)
            bar->update(request.interactive ? (renderThousandths + fileThousandths) / 2
                                            : std::min(renderThousandths, fileThousandths));
    };

    std::string writeError;
    // A source read a band at a time when given as a reader.
    std::optional<SourceRows> sourceRows;
    if (!request.source && request.sourceReader) sourceRows.emplace(*request.sourceReader);
    BandRows rows(
        shape.height, image.rowBytes(),
        [&](int32_t y, uint8_t* row) {
            if (sourceRows)
                hostRowOf(shape, *sourceRows, y, row);
            else
                hostRowOf(shape, request.source, y, row);
        },
        [&](int32_t y, const uint8_t* row) {
            if (interrupted() || !fileRows.add(row, &writeError)) return false;
            const int32_t t = int32_t(int64_t(y + 1) * 1000 / shape.height);
            if (t >= fileThousandths + 5) {
                fileThousandths = t;
                showProgress();
            }
            return true;
        });

    ModuleRunHooks hooks;
    hooks.progress = [&](int32_t done, int32_t total) {
        if (total > 0) renderThousandths = int32_t(int64_t(done) * 1000 / total);
        showProgress();
    };
    hooks.filterRect = [&rows](const Rect& filter) { rows.setFilterRect(filter); };
    // A dialog's preview writes output too (the image as it was, back in
    // place): the rows of an interactive run are kept until the module is done.
    if (request.interactive) rows.holdUntilFinish();
    int16_t result = 0;
    std::string why;
    const bool ran =
        runModule(request, image, &rows, request.mask ? &selection : nullptr, hooks, result, &why, warning);
    outcome.peakRows = rows.peakRows();
    // Ctrl-C reaches the module as a cancel; a cancel without it is the user's
    // answer to the dialog (a failure, nothing written).
    if (interrupted()) return cancelled();
    if (!writeError.empty()) return fail(error, writeError);
    if (sourceRows && sourceRows->failed()) return fail(error, "--source: " + sourceRows->error());
    // A host row that could not be held reaches the module as a memory failure.
    if (!ran) return fail(error, result == pi::memFullErr ? "not enough memory" : why);
    renderThousandths = 1000;
    // The rows no tile covered, then the end of the file.
    if (!rows.finish() || !fileRows.flush(&writeError)) {
        if (interrupted()) return cancelled();
        if (sourceRows && sourceRows->failed()) return fail(error, "--source: " + sourceRows->error());
        return fail(error, writeError.empty() ? "the image could not be written" : writeError);
    }
    outcome.peakRows = rows.peakRows();
    if (interrupted()) return cancelled();
    if (!writer.commit(error)) return interrupted() ? cancelled() : false;
    if (bar) bar->finish();
    return true;
}

}  // namespace tv::cli
