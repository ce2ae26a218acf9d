// A render written to its image file while it runs: the host image is held
// only as the rows that some tile still needs, and every row goes to the file
// as soon as all the tiles over it are done, so memory does not grow with the
// image. Ctrl-C stops the render or the write at any point before the file is
// put in place, and the target stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "host.h"
#include "image_io.h"
#include "plugin_render.h"

namespace tv::cli {

// The host image as a band of rows. A row is made (from the source) when it
// is first asked for and handed on in order, top to bottom, once every tile
// of the filter rectangle over it has been stored; it cannot be had after that.
class BandRows : public host::ImageRows {
public:
    using MakeRow = std::function<void(int32_t y, uint8_t* row)>;
    // Returns false to stop (the rows after it are not handed on).
    using TakeRow = std::function<bool(int32_t y, const uint8_t* row)>;

    BandRows(int32_t height, size_t rowBytes, MakeRow make, TakeRow take);
    // The area the module writes; rows outside it are done as they are.
    void setFilterRect(const Rect& filter) { filter_ = filter; }
    // Rows are handed on only by finish(): for modules that may write a row
    // more than once (an interactive run).
    void holdUntilFinish() { holding_ = true; }

    uint8_t* row(int32_t y) override;
    void stored(const Rect& rect) override;
    // Hands on every row left (after the module is done). False when stopped.
    bool finish();

    bool stopped() const { return stopped_; }
    int32_t rowsHandedOn() const { return first_; }
    size_t peakRows() const { return peak_; }

private:
    static constexpr int32_t kSpareRows = 64;
    bool complete(int32_t y) const;
    void handOnReady(bool all);

    int32_t height_;
    size_t rowBytes_;
    MakeRow make_;
    TakeRow take_;
    Rect filter_;
    int32_t first_ = 0;                       // the first row not handed on
    std::deque<std::vector<uint8_t>> held_;   // rows first_, first_ + 1, ...
    std::vector<std::vector<uint8_t>> spare_;  // buffers of rows handed on, for reuse
    std::vector<int32_t> done_;               // per row: columns of the filter rectangle stored
    bool stopped_ = false;
    bool holding_ = false;
    size_t peak_ = 0;
};

struct StreamedRender {
    bool cancelled = false;  // Ctrl-C: nothing was written, the target is as it was
    size_t peakRows = 0;     // the most host image rows held at once
};

// renderThroughPlugin, writing the result to path in format as it is
// rendered (the file is put in place only when complete). False with one
// clear reason; outcome.cancelled when the user cancelled.
bool renderToFile(const PluginRenderRequest& request, const std::string& path, ImageFormat format,
                  StreamedRender& outcome, std::string* error, std::string* warning = nullptr);

}  // namespace tv::cli
