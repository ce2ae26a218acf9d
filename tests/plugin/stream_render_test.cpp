// Renders written to their file while they run: the same pixels as a render
// held whole, the rows handed on in order however the tiles finish, and a
// cancel that leaves the target as it was.
#include <csignal>

#include "../support/images.h"
#include "../support/plugin.h"
#include "platform/interrupt.h"
#include "plugin_render.h"
#include "render_stream.h"

namespace tv::test {
namespace {

using cli::Image;
using cli::ImageFormat;
using cli::PluginRenderRequest;

TEST(BandRows, HandsRowsOnInOrderOnceEveryTileOverThemIsStored) {
    // A 6-row image of 4-byte rows; the filter rectangle covers rows 1..4,
    // columns 2..9, in two tiles a row band that finish out of order.
    std::vector<int32_t> order;
    std::vector<uint8_t> seen;
    cli::BandRows rows(
        6, 4, [](int32_t y, uint8_t* row) { std::memset(row, 10 + y, 4); },
        [&](int32_t y, const uint8_t* row) {
            order.push_back(y);
            seen.push_back(row[0]);
            return true;
        });
    rows.setFilterRect(Rect{1, 2, 5, 10});
    // The module writes into rows it asked for.
    for (int32_t y = 3; y < 5; ++y) rows.row(y)[0] = uint8_t(100 + y);
    rows.stored(Rect{3, 2, 5, 6});   // the lower band's left tile
    rows.stored(Rect{3, 6, 5, 10});  // and its right tile: rows 3, 4 done, but row 1 is not
    EXPECT_EQ(order, std::vector<int32_t>{0});  // above the filter: as it is
    for (int32_t y = 1; y < 3; ++y) rows.row(y)[0] = uint8_t(100 + y);
    rows.stored(Rect{1, 2, 3, 6});
    EXPECT_EQ(order, std::vector<int32_t>{0});  // row 1 half done
    rows.stored(Rect{1, 6, 3, 10});
    EXPECT_EQ(order, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(seen, (std::vector<uint8_t>{10, 101, 102, 103, 104, 15}));
    EXPECT_EQ(rows.row(2), nullptr);  // handed on: gone
    EXPECT_TRUE(rows.finish());
    EXPECT_LE(rows.peakRows(), 5u);

    // A receiver that stops (a cancel) stops the rows after it.
    int32_t taken = 0;
    cli::BandRows stopping(
        4, 1, [](int32_t, uint8_t* row) { row[0] = 0; }, [&](int32_t, const uint8_t*) { return ++taken < 2; });
    EXPECT_FALSE(stopping.finish());
    EXPECT_EQ(taken, 2);
    EXPECT_TRUE(stopping.stopped());
}

class ImageWriterTest : public TempHome {};

TEST_F(ImageWriterTest, BandsMakeTheSameFileAsTheWholeImage) {
    // In memory at once, and into a file in bands (BMP and PFM store their
    // rows bottom-up, each at its place in the file).
    for (ImageFormat format : {ImageFormat::Png, ImageFormat::Tiff, ImageFormat::Exr, ImageFormat::Ppm,
                               ImageFormat::Bmp, ImageFormat::Pfm}) {
        for (int32_t depth : {8, 16, 32}) {
            std::string error;
            if (!cli::formatSupportsDepth(format, depth, nullptr)) continue;
            const int32_t channels = format == ImageFormat::Ppm || format == ImageFormat::Pfm ? 3 : 4;
            Image image;
            ASSERT_TRUE(image.allocate(37, 23, channels, depth));
            for (size_t i = 0; i < image.data.size(); ++i) image.data[i] = uint8_t(i * 7 + i / 13);
            if (depth == 32)  // finite floats
                for (size_t i = 0; i < image.data.size() / 4; ++i) {
                    const float v = float(i % 97) / 31.0f;
                    std::memcpy(image.data.data() + 4 * i, &v, 4);
                }
            std::vector<uint8_t> whole;
            ASSERT_TRUE(cli::encodeImage(image, format, whole, &error)) << error;
            const std::string file = path("bands");
            cli::ImageWriter writer;
            ASSERT_TRUE(writer.open(file, format, 37, 23, channels, depth, &error)) << error;
            for (int32_t y = 0; y < 23; y += 5)
                ASSERT_TRUE(writer.writeRows(image.data.data() + size_t(y) * image.rowBytes(), std::min(5, 23 - y), &error));
            ASSERT_TRUE(writer.commit(&error)) << error;
            const std::vector<uint8_t> bands = readBytes(file);
            EXPECT_EQ(whole, bands) << cli::formatName(format) << " " << depth;
            if (format == ImageFormat::Exr) continue;  // not read back by the command line
            Image back;
            ASSERT_TRUE(cli::decodeImage(bands.data(), bands.size(), format, back, &error)) << error;
            EXPECT_EQ(back.data, image.data) << cli::formatName(format) << " " << depth;
        }
    }
}

class StreamRender : public PluginTest {
protected:
    PluginRenderRequest request(int32_t w, int32_t h) {
        PluginRenderRequest r;
        r.width = w;
        r.height = h;
        r.pluginPath = pluginPath();
        return r;
    }
};

TEST_F(StreamRender, TheFileHoldsWhatAWholeImageRenderHolds) {
    // Tiles of 256: sizes across tile rows, a selection whose bounds leave
    // rows and columns outside the filter, grey, a layer, 16 bits, threads.
    const Image source = solidImage(300, 270, 8, {0.2f, 0.5f, 0.7f});
    const Image mask = leftMask(300, 270, 150);
    struct Case {
        int32_t width, height, depth;
        bool grey, layer, masked;
        int32_t threads;
    } cases[] = {{300, 270, 8, false, false, false, 2}, {300, 270, 16, false, false, true, 3},
                 {530, 260, 8, true, false, false, 1}, {300, 270, 16, false, true, false, 2}};
    for (const Case& c : cases) {
        PluginRenderRequest r = request(c.width, c.height);
        r.depth = c.depth;
        r.grey = c.grey;
        r.layer = c.layer;
        r.threads = c.threads;
        r.settings = cli::descriptorOf(defaultRecord());
        if (c.masked) {
            r.source = &source;
            r.mask = &mask;
        }
        Image whole, streamed;
        std::string error;
        ASSERT_TRUE(cli::renderThroughPlugin(r, whole, &error)) << error;
        cli::StreamedRender outcome;
        const std::string file = path("streamed.tif");
        ASSERT_TRUE(cli::renderToFile(r, file, ImageFormat::Tiff, outcome, &error)) << error;
        ASSERT_TRUE(cli::readImage(file, streamed, &error)) << error;
        EXPECT_EQ(streamed.channels, whole.channels);
        EXPECT_TRUE(streamed.data == whole.data) << c.width << "x" << c.height << " depth " << c.depth;
        // Rows are held while some tile row over them is unfinished: about
        // a tile row per worker, never the image.
        EXPECT_LE(outcome.peakRows, size_t(256 * (c.threads + 1)));
    }
}

TEST_F(StreamRender, ACancelLeavesTheOldFileAndWritesNothing) {
    const std::string file = path("planet.png");
    ASSERT_TRUE(writeText(file, "the old picture"));
    PluginRenderRequest r = request(600, 300);
    r.settings = cli::descriptorOf(defaultRecord());
    platform::InterruptWatch interrupt;
    r.interrupt = &interrupt;
    std::raise(SIGINT);  // Ctrl-C, remembered by the watch
    cli::StreamedRender outcome;
    std::string error;
    EXPECT_FALSE(cli::renderToFile(r, file, ImageFormat::Png, outcome, &error));
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_NE(error.find("cancelled"), std::string::npos) << error;
    EXPECT_EQ(readText(file), "the old picture");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(root_)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u);  // no temporary left beside it
}

}  // namespace
}  // namespace tv::test
