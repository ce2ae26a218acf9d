// Pixels through PluginMain: depths, grey, transparency, the selection mask,
// floating selections and 32-bit document coordinates.
#include <algorithm>
#include <cmath>

#include "../support/plugin.h"

namespace tv::test {
namespace {

using host::HostImage;
using host::HostOptions;
using host::RunReport;

constexpr double kComposite = 2;

HostImage filled(int32_t w, int32_t h, int32_t depth, bool grey, bool transparency, float value, float alpha = 1.0f) {
    HostImage image = host::blankImage(w, h, depth, grey, transparency);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            for (int32_t p = 0; p < image.colourPlanes; ++p) image.setValue(x, y, p, value);
            if (transparency) image.setValue(x, y, image.colourPlanes, alpha);
        }
    return image;
}

TEST_F(PluginTest, SixteenBitFullScaleIs32768BothWays) {
    HostImage image = filled(200, 120, 16, false, false, 1.0f);
    ASSERT_EQ(*reinterpret_cast<const uint16_t*>(image.sample(0, 0, 0)), 32768);
    ASSERT_EQ(runSilent(image, {}, descriptorWith({{"glue", kComposite}, {"planet size", 40}}), nullptr), 0);
    uint16_t highest = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 2) highest = std::max(highest, *reinterpret_cast<const uint16_t*>(&image.pixels[i]));
    EXPECT_EQ(highest, 32768);  // never 65535
    // Far outside the planet the source (read as 1.0) comes back as 32768.
    for (int p = 0; p < 3; ++p) EXPECT_EQ(*reinterpret_cast<const uint16_t*>(image.sample(2, 2, p)), 32768);
    // The planet itself is there.
    EXPECT_LT(*reinterpret_cast<const uint16_t*>(image.sample(100, 60, 0)), 32768);
}

TEST_F(PluginTest, ThirtyTwoBitKeepsValuesAboveOne) {
    HostImage image = filled(160, 100, 32, false, false, 2.5f);
    // Left half selected, then a half-selected strip, the rest not: the
    // right part keeps its source, the strip mixes it with the planet.
    host::Selection selection{160, 100, std::vector<uint8_t>(160 * 100, 0)};
    for (int32_t y = 0; y < 100; ++y)
        for (int32_t x = 0; x < 100; ++x) selection.mask[size_t(y) * 160 + size_t(x)] = x < 80 ? 255 : 128;
    HostOptions options;
    options.filterRect = Rect{0, 0, 100, 160};
    ASSERT_EQ(runSilent(image, options, descriptorWith({{"planet size", 90}}), nullptr, &selection), 0);
    EXPECT_EQ(image.value(150, 50, 0), 2.5f);
    EXPECT_EQ(image.value(120, 10, 2), 2.5f);
    EXPECT_NE(image.value(79, 50, 0), 2.5f);  // rendered inside the selection
    EXPECT_LT(image.value(79, 50, 0), 1.0f);
    // Mixed values above 1 are written as they are.
    const float m = 128.0f / 255.0f;
    for (int32_t x = 80; x < 100; x += 4) {
        const float mixed = image.value(x, 50, 1);
        EXPECT_GT(mixed, 2.5f * (1.0f - m));
        EXPECT_LT(mixed, 2.5f * (1.0f - m) + m * 1.0001f);
        EXPECT_NE(mixed, 2.5f);
    }
}

TEST_F(PluginTest, GreyImagesStoreTheLuminance) {
    const auto d = descriptorWith({{"planet size", 80}, {"random seed", 3}});
    HostImage rgb = host::blankImage(96, 96, 8, false, false);
    HostImage grey = host::blankImage(96, 96, 8, true, false);
    ASSERT_EQ(runSilent(rgb, {}, d, nullptr), 0);
    ASSERT_EQ(runSilent(grey, {}, d, nullptr), 0);
    int nonBlack = 0;
    for (int32_t y = 0; y < 96; ++y)
        for (int32_t x = 0; x < 96; ++x) {
            const double l = 0.3 * rgb.sample(x, y, 0)[0] + 0.59 * rgb.sample(x, y, 1)[0] + 0.11 * rgb.sample(x, y, 2)[0];
            EXPECT_NEAR(grey.sample(x, y, 0)[0], l, 2.0) << x << "," << y;
            nonBlack += grey.sample(x, y, 0)[0] > 10;
        }
    EXPECT_GT(nonBlack, 1000);
}

TEST_F(PluginTest, EditableTransparencyReadsAndWritesThePlaneAfterTheColours) {
    // Source alpha 0.2; the right half is selected at one half, so the result
    // there mixes the source alpha with the planet's. Composite on a layer
    // gives the globe its own coverage as alpha (normal paints black space).
    HostImage image = filled(120, 120, 8, false, true, 0.0f, 0.2f);
    host::Selection selection{120, 120, std::vector<uint8_t>(120 * 120, 255)};
    for (int32_t y = 0; y < 120; ++y)
        for (int32_t x = 60; x < 120; ++x) selection.mask[size_t(y) * 120 + size_t(x)] = 128;
    HostOptions options;
    options.filterRect = Rect{0, 0, 120, 120};
    ASSERT_EQ(runSilent(image, options, descriptorWith({{"planet size", 60}, {"air depth", 0}, {"glue", kComposite}}), nullptr, &selection), 0);
    const float m = 128.0f / 255.0f;
    EXPECT_EQ(image.sample(45, 60, 3)[0], 255);  // the globe is opaque
    EXPECT_EQ(image.sample(2, 2, 3)[0], 0);      // nothing beside it
    // Far corner on the half-selected side: 0.2 (1 - m) + 0 m.
    EXPECT_NEAR(image.sample(117, 117, 3)[0], std::nearbyint(255.0f * 0.2f * (1.0f - m)), 1.0);
}

TEST_F(PluginTest, FloatingSelectionOffsetsTheTiles) {
    HostImage image = host::blankImage(300, 300, 8, false, false);
    HostOptions options;
    options.floating = true;
    options.floatX = 20;
    options.floatY = 10;
    options.filterRect = Rect{0, 0, 100, 100};
    RunReport report;
    ASSERT_EQ(runSilent(image, options, std::nullopt, &report), 0);
    ASSERT_EQ(report.tilesRequested, 1);
    EXPECT_EQ(report.inRects[0], (Rect{10, 20, 110, 120}));
    EXPECT_EQ(report.outRects[0], (Rect{10, 20, 110, 120}));
}

TEST_F(PluginTest, BigDocumentCoordinatesAreUsedWhenOffered) {
    HostImage image = host::blankImage(600, 300, 8, false, false);
    std::fill(image.pixels.begin(), image.pixels.end(), 77);
    HostOptions options;
    options.bigDocument = true;
    host::FilterHost filter(module_, session_, image, nullptr, options);
    // The 16-bit fields say something else: only the 32-bit ones may be read.
    filter.record().filterRect = {0, 0, 10, 10};
    host::RunRequest request;
    request.descriptor = descriptorWith({{"glue", 6}});
    RunReport report;
    ASSERT_EQ(filter.run(request, report), 0);
    ASSERT_EQ(report.tilesRequested, 6);
    // Tiles finish in any order; the bottom-right one is among them.
    EXPECT_NE(std::find(report.inRects.begin(), report.inRects.end(), Rect{256, 512, 300, 600}), report.inRects.end());
    EXPECT_NE(image.sample(590, 290, 0)[0], 77);
}

// What a module asks for is outside data: rectangles whose rows or whole do
// not fit the interface's 32-bit sizes are refused, and sampled coordinates
// far outside the image land on its edge.
TEST_F(PluginTest, TileRequestsBeyondTheInterfaceLimitsAreRefused) {
    HostImage image = host::blankImage(4, 4, 8, false, true);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) image.sample(x, y, 0)[0] = uint8_t(10 * y + x);
    HostOptions options;
    options.bigDocument = true;
    host::FilterHost filter(module_, session_, image, nullptr, options);
    pi::FilterRecord& r = filter.record();
    pi::BigDocumentStruct& big = *r.bigDocumentData;
    r.inLoPlane = 0;
    r.inHiPlane = 3;
    r.inputRate = 1 << 16;
    const pi::VRect refused[] = {
        {0, INT32_MIN, 1, INT32_MAX},  // a width beyond 32 bits
        {0, 0, 1, 1 << 29},            // one row of 2^31 bytes
        {0, 0, 1 << 16, 1 << 14},      // 2^32 bytes in all
    };
    for (const pi::VRect& rect : refused) {
        big.inRect32 = rect;
        EXPECT_EQ(filter.advanceState(), pi::memFullErr) << rect.left << " " << rect.right;
        EXPECT_EQ(r.inData, nullptr);
    }
    big.inRect32 = {100000, 0, 100001, 2};
    r.inputRate = 32767 << 16;
    ASSERT_EQ(filter.advanceState(), pi::noErr);
    ASSERT_NE(r.inData, nullptr);
    EXPECT_EQ(r.inRowBytes, 8);
    const auto* in = static_cast<const uint8_t*>(r.inData);
    EXPECT_EQ(in[0], 30);  // the last row, first column
    EXPECT_EQ(in[4], 33);  // the last row, last column

    // One plane of sampled row 1 at rates 1 and 2 (image rows 1 and 2): the
    // pixels inside the image, then the edge repeated past it.
    r.inLoPlane = r.inHiPlane = 0;
    const struct {
        int32_t rate;
        pi::VRect rect;
        uint8_t expected[4];
    } reads[] = {{1, {1, 1, 2, 5}, {11, 12, 13, 13}}, {2, {1, 0, 2, 4}, {20, 22, 23, 23}}};
    for (const auto& read : reads) {
        big.inRect32 = read.rect;
        r.inputRate = read.rate << 16;
        ASSERT_EQ(filter.advanceState(), pi::noErr);
        ASSERT_NE(r.inData, nullptr);
        EXPECT_EQ(r.inRowBytes, 4);
        const auto* row = static_cast<const uint8_t*>(r.inData);
        EXPECT_EQ(std::vector<uint8_t>(row, row + 4), std::vector<uint8_t>(read.expected, read.expected + 4))
            << "rate " << read.rate;
    }
}

}  // namespace
}  // namespace tv::test
