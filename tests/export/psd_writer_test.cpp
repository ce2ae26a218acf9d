#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "export/metadata.h"
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
        file_ = path(name);
        result_ = writePsdDocument(file_, d, layers_.source());
        bytes_ = readBytes(file_);
        EXPECT_EQ(bytes_.size(), psdDocumentSize(d));
        return parsePsd(bytes_);
    }
    SyntheticLayers layers_;
    std::string file_;
    int32_t result_ = 1;
    std::vector<uint8_t> bytes_;
};

TEST_F(PsdWriterTest, OnePixelDocumentHoldsElevenOnePixelLayersInOrder) {
    const ParsedDocument doc = writeAndParse(1, 1, 8);
    ASSERT_EQ(result_, 0);
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.channels, 3);
    EXPECT_EQ(doc.depth, 8);
    EXPECT_EQ(doc.mode, 3);
    EXPECT_TRUE(doc.colourModeData.empty());
    ASSERT_EQ(doc.layers.size(), 11u);
    for (size_t i = 0; i < 11; ++i) {
        const ParsedLayer& l = doc.layers[i];
        EXPECT_EQ(l.name, kLayerNames[i]);
        EXPECT_EQ(l.bottom, 1);
        EXPECT_EQ(l.right, 1);
        EXPECT_EQ(l.flags, 40);
        ASSERT_EQ(l.channels.size(), 4u);
        EXPECT_EQ(l.channels[0].first, -1);
        EXPECT_EQ(l.channels[3].first, 2);
        EXPECT_EQ(l.planes.at(0)[0], syntheticSample(int32_t(i) + 1, 0, 0, 0, 255));
        EXPECT_EQ(l.planes.at(-1)[0], syntheticSample(int32_t(i) + 1, 3, 0, 0, 255));
    }
    EXPECT_EQ(layers_.order, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_TRUE(doc.tags.empty());
}

TEST_F(PsdWriterTest, LayerNamesArePaddedToFourBytes) {
    EXPECT_EQ(psdPaddedName("lit map").size(), 8u);
    EXPECT_EQ(psdPaddedName("bump w/o ocean").size(), 16u);
    EXPECT_EQ(psdPaddedName("abc").size(), 4u);
    EXPECT_EQ(psdPaddedName("").size(), 4u);
    const std::vector<uint8_t> p = psdPaddedName("cities");
    EXPECT_EQ(p, (std::vector<uint8_t>{6, 'c', 'i', 't', 'i', 'e', 's', 0}));
    const ParsedDocument doc = writeAndParse(2, 1, 8);
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.layers[0].paddedNameLength, 8u);
    EXPECT_EQ(doc.layers[4].paddedNameLength, 16u);
}

TEST_F(PsdWriterTest, SixteenBitLayersGoInAnLr16BlockWithFourHeaderChannels) {
    const ParsedDocument doc = writeAndParse(3, 2, 16);
    ASSERT_EQ(result_, 0);
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.channels, 4);
    EXPECT_EQ(doc.depth, 16);
    EXPECT_EQ(doc.tags, (std::vector<std::string>{"Mt16", "Lr16"}));
    ASSERT_EQ(doc.layers.size(), 11u);
    // Host-scale samples are doubled; full scale becomes 65535.
    const auto& red = doc.layers[2].planes.at(0);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            const size_t at = (size_t(y) * 3 + size_t(x)) * 2;
            const uint32_t v = syntheticSample(3, 0, x, y, 32768);
            const uint32_t expected = v >= 32768 ? 65535 : v * 2;
            EXPECT_EQ(uint32_t(red[at] << 8 | red[at + 1]), expected);
        }
    const auto& alpha = doc.layers[0].planes.at(-1);
    EXPECT_EQ(uint32_t(alpha[0] << 8 | alpha[1]), 65535u);  // x = 0: opaque
}

TEST_F(PsdWriterTest, ThirtyTwoBitDocumentsCarryToningMaskAndPatternBlocks) {
    const ParsedDocument doc = writeAndParse(2, 2, 32);
    ASSERT_EQ(result_, 0);
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.channels, 3);
    EXPECT_EQ(doc.depth, 32);
    EXPECT_EQ(doc.tags, (std::vector<std::string>{"Mt32", "Lr32", "LMsk", "Pat3"}));
    ASSERT_EQ(doc.colourModeData.size(), 74u);
    // Two copies of the toning record, each starting "hdrt", version 3, "Default".
    for (size_t at : {size_t(0), size_t(37)}) {
        EXPECT_EQ(std::string(doc.colourModeData.begin() + at, doc.colourModeData.begin() + at + 4), "hdrt");
        EXPECT_EQ(doc.colourModeData[at + 5], 3);
        EXPECT_EQ(doc.colourModeData[at + 11], 'D');
    }
    ASSERT_EQ(doc.layers.size(), 11u);
    EXPECT_EQ(doc.layers[0].flags, 8);
    // Floats are stored big-endian as they are.
    const auto& green = doc.layers[6].planes.at(1);
    const uint32_t bits = uint32_t(green[4]) << 24 | uint32_t(green[5]) << 16 | uint32_t(green[6]) << 8 | green[7];
    float v;
    std::memcpy(&v, &bits, 4);
    EXPECT_FLOAT_EQ(v, float(syntheticSample(7, 1, 1, 0, 255)) / 255.0f);
    // The composite is the top layer's colour planes, as they are.
    const size_t plane = 2 * 2 * 4;
    const uint8_t* blue = doc.composite.data() + 2 * plane;
    const uint32_t b = uint32_t(blue[0]) << 24 | uint32_t(blue[1]) << 16 | uint32_t(blue[2]) << 8 | blue[3];
    std::memcpy(&v, &b, 4);
    EXPECT_FLOAT_EQ(v, float(syntheticSample(11, 2, 0, 0, 255)) / 255.0f);
}

TEST_F(PsdWriterTest, CompositeLaysTheTopLayerOverACheckerboard) {
    const ParsedDocument doc8 = writeAndParse(20, 17, 8, "a.psd");
    ASSERT_TRUE(doc8.ok) << doc8.error;
    const size_t plane = 20 * 17;
    for (int32_t y : {0, 8, 16})
        for (int32_t x : {1, 2, 9, 19}) {
            const uint32_t a = syntheticSample(11, 3, x, y, 255);
            const uint32_t checker = ((x & 8) ^ (y & 8)) ? 204 : 255;
            for (int c = 0; c < 3; ++c) {
                const uint32_t v = syntheticSample(11, c, x, y, 255);
                EXPECT_EQ(doc8.composite[size_t(c) * plane + size_t(y) * 20 + size_t(x)],
                          (v * a + checker * (255 - a)) / 255)
                    << x << "," << y;
            }
        }
    const ParsedDocument doc16 = writeAndParse(20, 17, 16, "b.psd");
    ASSERT_TRUE(doc16.ok) << doc16.error;
    const uint8_t* c16 = doc16.composite.data();
    for (int32_t y : {0, 9})
        for (int32_t x : {2, 8}) {
            const size_t p = size_t(y) * 20 + size_t(x);
            const uint32_t a = syntheticSample(11, 3, x, y, 32768);
            const uint32_t checker = ((x & 8) ^ (y & 8)) ? 26112 : 32640;
            const uint32_t v = syntheticSample(11, 0, x, y, 32768);
            const uint32_t blended = (v * a + checker * (32768 - a)) >> 15;
            EXPECT_EQ(uint32_t(c16[p * 2] << 8 | c16[p * 2 + 1]), blended * 2);
            // The fourth plane is the transparency.
            const uint8_t* alpha = c16 + 3 * plane * 2 + p * 2;
            EXPECT_EQ(uint32_t(alpha[0] << 8 | alpha[1]), a >= 32768 ? 65535 : a * 2);
        }
}

TEST_F(PsdWriterTest, ImageResourcesCarryPrintResolutionIptcAndExif) {
    ParsedDocument doc = writeAndParse(4, 4, 8);
    ASSERT_TRUE(doc.ok) << doc.error;
    for (uint16_t id : {1001, 1005, 1011, 1016, 1035, 1028, 1058, 1069, 1024, 1026, 1072})
        EXPECT_TRUE(doc.resources.count(id)) << id;
    EXPECT_FALSE(doc.resources.count(1039));  // no host profile
    EXPECT_EQ(doc.resources[1001].size(), 120u);
    EXPECT_EQ(doc.resources[1001][13], 0xE7);  // 743
    EXPECT_EQ(doc.resources[1005], (std::vector<uint8_t>{0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(doc.resources[1011], (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(doc.resources[1016].size(), 112u);
    EXPECT_EQ(doc.resources[1024], (std::vector<uint8_t>{0, 11}));
    EXPECT_EQ(doc.resources[1026], std::vector<uint8_t>(22, 0));
    EXPECT_EQ(doc.resources[1072], std::vector<uint8_t>(11, 1));
    EXPECT_EQ(doc.resources[1069], (std::vector<uint8_t>{0, 1, 0, 0, 0, 12}));
    const std::string iptc(doc.resources[1028].begin(), doc.resources[1028].end());
    EXPECT_NE(iptc.find("20240309"), std::string::npos);
    EXPECT_NE(iptc.find("Made with Terravane"), std::string::npos);
    const std::vector<uint8_t>& exif = doc.resources[1058];
    ASSERT_EQ(exif.size(), 36u);
    EXPECT_EQ(std::string(exif.begin() + 26, exif.begin() + 35), "Terravane");

    PsdDescription d = psdDescription(1, 1, 8);
    d.iccProfile = {1, 2, 3};
    SyntheticLayers one;
    one.width = one.height = 1;
    ASSERT_EQ(writePsdDocument(path("icc.psd"), d, one.source()), 0);
    const ParsedDocument withProfile = parsePsd(readBytes(path("icc.psd")));
    ASSERT_TRUE(withProfile.ok) << withProfile.error;
    EXPECT_EQ(withProfile.resources.at(1039), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(PsdWriterTest, IptcDatasetsAreFramedAndExtraKeywordsFollow) {
    const std::vector<uint8_t> b = iptcBlock(" sky ; ;moon", {2031, 12, 1, 0, 0, 0});
    ByteReader r(b);
    std::vector<std::pair<int, std::string>> sets;
    while (r.remaining() > 0) {
        uint8_t marker, record, number;
        uint16_t len;
        r.u8(marker);
        r.u8(record);
        r.u8(number);
        r.u16(len);
        ASSERT_EQ(marker, 0x1C);
        ASSERT_EQ(record, 2);
        std::string text(len, '\0');
        ASSERT_TRUE(r.bytes(text.data(), len));
        sets.push_back({number, text});
    }
    ASSERT_EQ(sets.size(), 7u);
    EXPECT_EQ(sets[0], (std::pair<int, std::string>{0, std::string("\0\2", 2)}));
    EXPECT_EQ(sets[1].first, 115);
    EXPECT_EQ(sets[2], (std::pair<int, std::string>{55, "20311201"}));
    EXPECT_EQ(sets[3], (std::pair<int, std::string>{120, "Made with Terravane"}));
    EXPECT_EQ(sets[4], (std::pair<int, std::string>{25, "Terravane"}));
    EXPECT_EQ(sets[5], (std::pair<int, std::string>{25, "sky"}));
    EXPECT_EQ(sets[6], (std::pair<int, std::string>{25, "moon"}));
}

TEST_F(PsdWriterTest, ExportingOverALongerFileLeavesNoTail) {
    ASSERT_TRUE(writeBytes(path("over.psd"), std::vector<uint8_t>(200000, 0xAB)));
    const ParsedDocument doc = writeAndParse(2, 2, 8, "over.psd");
    ASSERT_EQ(result_, 0);
    ASSERT_TRUE(doc.ok) << doc.error;  // the composite ends exactly at the end of the file
    EXPECT_LT(bytes_.size(), 200000u);
}

TEST_F(PsdWriterTest, CancelledOrFailedExportLeavesTheOldFileAndNoTemporaries) {
    const std::string target = path("keep.psd");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    ASSERT_TRUE(writeBytes(target, old));
    PsdDescription d = psdDescription(4, 4, 16);
    SyntheticLayers layers;
    layers.width = layers.height = 4;
    layers.bytesPerChannel = 2;
    layers.failAt = 5;
    EXPECT_EQ(writePsdDocument(target, d, layers.source()), -128);
    EXPECT_EQ(layers.rendered, 4);
    EXPECT_EQ(readBytes(target), old);
    // A source that delivers the wrong size is a generic failure.
    SyntheticLayers wrong;
    wrong.width = 3;
    wrong.height = 4;
    wrong.bytesPerChannel = 2;
    EXPECT_EQ(writePsdDocument(target, d, wrong.source()), kExportFailed);
    EXPECT_EQ(readBytes(target), old);
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(root_)) ++entries;
    EXPECT_EQ(entries, 2u);  // home and keep.psd
}

TEST_F(PsdWriterTest, UnwritableSizesAndFoldersAreRefused) {
    SyntheticLayers layers;
    EXPECT_EQ(writePsdDocument(path("zero.psd"), psdDescription(0, 5, 8), layers.source()), kExportFailed);
    EXPECT_EQ(writePsdDocument(path("wide.psd"), psdDescription(30001, 1, 8), layers.source()), kExportFailed);
    // 30000 x 30000 at 32 bits cannot be measured in 32-bit section lengths.
    EXPECT_EQ(writePsdDocument(path("huge.psd"), psdDescription(30000, 30000, 32), layers.source()), kExportFailed);
    EXPECT_EQ(layers.rendered, 0);
    EXPECT_FALSE(std::filesystem::exists(path("zero.psd")));
    layers.width = layers.height = 1;
    EXPECT_EQ(writePsdDocument(path("no/such/folder.psd"), psdDescription(1, 1, 8), layers.source()),
              platform::kFileOpenError);
    EXPECT_EQ(layers.rendered, 0);
}

TEST(PsdLayerTable, ModesFollowTheLayerTable) {
    EXPECT_EQ(psdLayerMode(1), 3);
    EXPECT_EQ(psdLayerMode(5), 14);
    EXPECT_EQ(psdLayerMode(6), 7);
    EXPECT_EQ(psdLayerMode(11), 12);
    EXPECT_EQ(psdLayerMode(0), 0);
    EXPECT_EQ(psdLayerMode(12), 0);
}

}  // namespace
}  // namespace tv::test
