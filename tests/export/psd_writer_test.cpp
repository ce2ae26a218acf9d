// The layered document writer, read back by a reader of our own that walks
// every section by its length fields.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "export/psd_writer.h"
#include "psd_test_reader.h"
#include "synthetic_layers.h"

namespace tv::test {
namespace {

class PsdWriterTest : public TempHome {
protected:
    ParsedDocument writeAndParse(int32_t w, int32_t h, int32_t depth, const std::string& name = "doc.psd") {
        PsdDescription d = psdDescription(w, h, depth);
        d.date = {2024, 3, 9, 12, 0, 0};
        layers_.width = w;
        layers_.height = h;
        layers_.bytesPerChannel = d.bytesPerChannel;
        layers_.order.clear();
        result_ = writePsdDocument(path(name), d, layers_.source());
        const std::vector<uint8_t> bytes = readBytes(path(name));
        EXPECT_EQ(bytes.size(), psdDocumentSize(d));
        return parsePsd(bytes);
    }
    static uint32_t word16(const uint8_t* p) { return uint32_t(p[0] << 8 | p[1]); }
    SyntheticLayers layers_;
    int32_t result_ = 1;
};

TEST_F(PsdWriterTest, ElevenLayersInOrderAtEveryDepth) {
    for (int32_t depth : {8, 16, 32}) {
        const ParsedDocument doc = writeAndParse(3, 2, depth, std::to_string(depth) + ".psd");
        ASSERT_EQ(result_, 0);
        ASSERT_TRUE(doc.ok) << doc.error;
        EXPECT_EQ(doc.depth, depth);
        EXPECT_EQ(doc.channels, depth == 16 ? 4 : 3);
        ASSERT_EQ(doc.layers.size(), 11u);
        for (size_t i = 0; i < 11; ++i) {
            const ParsedLayer& l = doc.layers[i];
            EXPECT_EQ(l.name, kLayerNames[i]);
            EXPECT_TRUE(l.bottom == 2 && l.right == 3 && l.channels.size() == 4u && l.channels[0].first == -1);
            EXPECT_EQ(l.flags, depth == 32 ? 8 : 40);
        }
        // Samples: bytes as they are; 16-bit host samples doubled (full scale
        // 65535); floats big-endian as they are.
        const auto& red = doc.layers[2].planes.at(0);
        const uint32_t v8 = syntheticSample(3, 0, 1, 1, 255), v16 = syntheticSample(3, 0, 1, 1, 32768);
        const size_t at = 4;  // pixel (1, 1)
        if (depth == 8) {
            EXPECT_EQ(red[at], v8);
        } else if (depth == 16) {
            EXPECT_EQ(word16(&red[2 * at]), v16 >= 32768 ? 65535 : v16 * 2);
        } else {
            const uint32_t bits = uint32_t(red[4 * at]) << 24 | uint32_t(red[4 * at + 1]) << 16 |
                                  uint32_t(red[4 * at + 2]) << 8 | red[4 * at + 3];
            float f;
            std::memcpy(&f, &bits, 4);
            EXPECT_FLOAT_EQ(f, float(v8) / 255.0f);
        }
        const std::vector<std::vector<std::string>> tags = {
            {}, {"Mt16", "Lr16"}, {"Mt32", "Lr32", "LMsk", "Pat3"}};
        EXPECT_EQ(doc.tags, tags[depth / 16]);
        EXPECT_EQ(doc.colourModeData.size(), depth == 32 ? 74u : 0u);  // two toning records
    }
    EXPECT_EQ(layers_.order, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST_F(PsdWriterTest, CompositeLaysTheTopLayerOverACheckerboard) {
    const ParsedDocument doc8 = writeAndParse(20, 17, 8, "a.psd");
    ASSERT_TRUE(doc8.ok) << doc8.error;
    for (int32_t y : {0, 8, 16})
        for (int32_t x : {1, 9, 19}) {
            const uint32_t a = syntheticSample(11, 3, x, y, 255), checker = ((x & 8) ^ (y & 8)) ? 204 : 255;
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(doc8.composite[size_t(c) * 340 + size_t(y) * 20 + size_t(x)],
                          (syntheticSample(11, c, x, y, 255) * a + checker * (255 - a)) / 255);
        }
    const ParsedDocument doc16 = writeAndParse(20, 17, 16, "b.psd");
    ASSERT_TRUE(doc16.ok) << doc16.error;
    const size_t p = 8;  // (8, 0): a dark square
    const uint32_t a = syntheticSample(11, 3, 8, 0, 32768);
    EXPECT_EQ(word16(&doc16.composite[p * 2]), ((syntheticSample(11, 0, 8, 0, 32768) * a + 26112 * (32768 - a)) >> 15) * 2);
    EXPECT_EQ(word16(&doc16.composite[(3 * 340 + p) * 2]), a >= 32768 ? 65535 : a * 2);  // the transparency plane
}

TEST_F(PsdWriterTest, FailuresAndCancelsLeaveTheOldFileAndNoTemporaries) {
    const std::string target = path("keep.psd");
    ASSERT_TRUE(writeText(target, "old"));
    SyntheticLayers layers;
    layers.width = layers.height = 4;
    layers.bytesPerChannel = 2;
    layers.failAt = 5;
    EXPECT_EQ(writePsdDocument(target, psdDescription(4, 4, 16), layers.source()), -128);
    EXPECT_EQ(layers.rendered, 4);
    SyntheticLayers wrong;  // a source that delivers the wrong size
    wrong.width = 3;
    wrong.height = 4;
    wrong.bytesPerChannel = 2;
    EXPECT_EQ(writePsdDocument(target, psdDescription(4, 4, 16), wrong.source()), kExportFailed);
    EXPECT_EQ(readText(target), "old");
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(root_)) ++entries;
    EXPECT_EQ(entries, 2u);  // home and keep.psd
    SyntheticLayers none;
    EXPECT_EQ(writePsdDocument(path("zero.psd"), psdDescription(0, 5, 8), none.source()), kExportFailed);
    EXPECT_EQ(writePsdDocument(path("wide.psd"), psdDescription(30001, 1, 8), none.source()), kExportFailed);
    // 30000 x 30000 at 32 bits cannot be measured in 32-bit section lengths.
    EXPECT_EQ(writePsdDocument(path("huge.psd"), psdDescription(30000, 30000, 32), none.source()), kExportFailed);
    none.width = none.height = 1;
    EXPECT_EQ(writePsdDocument(path("no/such/folder.psd"), psdDescription(1, 1, 8), none.source()),
              platform::kFileOpenError);
    EXPECT_EQ(none.rendered, 0);
}

// A reader we did not write: ImageMagick (installed by scripts/install-deps).
TEST_F(PsdWriterTest, ImageMagickReadsEveryLayerWithItsNameAndSize) {
    for (int32_t depth : {8, 16}) {
        ASSERT_TRUE(writeAndParse(37, 21, depth, std::to_string(depth) + ".psd").ok);
        const std::string file = path(std::to_string(depth) + ".psd");
        std::string out;
        ASSERT_EQ(runCommand("identify -format '%l|%w|%h|%z\\n' '" + file + "' 2>/dev/null", &out), 0) << depth;
        std::istringstream lines(out);
        std::string line;
        std::vector<std::string> got;
        while (std::getline(lines, line)) got.push_back(line);
        ASSERT_EQ(got.size(), 12u) << out;  // the composite, then the layers
        EXPECT_EQ(got[0], "|37|21|" + std::to_string(depth));
        for (size_t i = 0; i < 11; ++i)
            EXPECT_EQ(got[i + 1], std::string(kLayerNames[i]) + "|37|21|" + std::to_string(depth));
    }
}

}  // namespace
}  // namespace tv::test
