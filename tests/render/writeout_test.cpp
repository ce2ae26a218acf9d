#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "render/writeout.h"

namespace tv {
namespace {

// A host image of its own: a source, a selection mask and the stored result.
struct FakeHost {
    int32_t width = 8, height = 4;
    std::vector<float> source, stored, mask;
    HostBridge bridge;

    FakeHost() : source(size_t(8) * 4 * 4), stored(size_t(8) * 4 * 4, -1.0f), mask(size_t(8) * 4, 1.0f) {
        for (int32_t i = 0; i < width * height; ++i) {
            source[size_t(i) * 4 + 0] = 0.2f;
            source[size_t(i) * 4 + 1] = 0.4f;
            source[size_t(i) * 4 + 2] = 0.6f;
            source[size_t(i) * 4 + 3] = 1.0f;
        }
        bridge.context = this;
        bridge.readSource = [](void* c, int32_t x, int32_t y, float rgba[4]) {
            auto* h = static_cast<FakeHost*>(c);
            std::memcpy(rgba, &h->source[(size_t(y) * size_t(h->width) + size_t(x)) * 4], 4 * sizeof(float));
        };
        bridge.readMask = [](void* c, int32_t x, int32_t y) {
            auto* h = static_cast<FakeHost*>(c);
            return h->mask[size_t(y) * size_t(h->width) + size_t(x)];
        };
        bridge.store = [](void* c, int32_t x, int32_t y, const float rgba[4]) {
            auto* h = static_cast<FakeHost*>(c);
            std::memcpy(&h->stored[(size_t(y) * size_t(h->width) + size_t(x)) * 4], rgba, 4 * sizeof(float));
        };
    }
    const float* at(int32_t x, int32_t y) const { return &stored[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

WriteContext hostContext(FakeHost& host, int32_t mode) {
    WriteContext w;
    w.mode = mode;
    w.destination = kDestinationHost;
    w.target.depthBits = 8;
    w.host = &host.bridge;
    return w;
}

TEST(WritePixel, CompositeWithASelectionKeepsTheSourceOutsideIt) {
    FakeHost host;
    for (int32_t y = 0; y < host.height; ++y)
        for (int32_t x = 0; x < host.width; ++x) host.mask[size_t(y) * 8 + size_t(x)] = x < 4 ? 0.0f : (x == 4 ? 0.5f : 1.0f);
    WriteContext w = hostContext(host, kModeComposite);
    w.target.hasMask = true;
    const float planet[4] = {0.9f, 0.1f, 0.1f, 1.0f};
    const float onDisk[2] = {0.0f, 1.0f};
    for (int32_t y = 0; y < host.height; ++y)
        for (int32_t x = 0; x < host.width; ++x) writePixel(w, x, y, planet, onDisk);
    EXPECT_FLOAT_EQ(host.at(1, 2)[0], 0.2f);
    EXPECT_FLOAT_EQ(host.at(1, 2)[2], 0.6f);
    EXPECT_NEAR(host.at(4, 2)[0], 0.2f + 0.5f * (0.9f - 0.2f), 1e-6f);
    EXPECT_FLOAT_EQ(host.at(6, 2)[0], 0.9f);
    EXPECT_FLOAT_EQ(host.at(6, 2)[1], 0.1f);
}

TEST(WritePixel, CompositeAddsTheSourceWhereThePlanetDoesNotCover) {
    FakeHost host;
    const WriteContext w = hostContext(host, kModeComposite);
    const float air[4] = {0.1f, 0.1f, 0.5f, 1.0f};
    const float offDisk[2] = {0.0f, 0.0f};
    writePixel(w, 0, 0, air, offDisk);
    EXPECT_NEAR(host.at(0, 0)[0], 0.3f, 1e-6f);
    EXPECT_NEAR(host.at(0, 0)[2], 1.0f, 1e-6f);  // capped
    const float half[2] = {0.0f, 0.5f};
    writePixel(w, 1, 0, air, half);
    EXPECT_NEAR(host.at(1, 0)[1], 0.1f + 0.4f * 0.5f, 1e-6f);
}

TEST(WritePixel, CompositeOnATransparentLayerTurnsAirIntoOpacity) {
    FakeHost host;
    WriteContext w = hostContext(host, kModeComposite);
    w.target.hasTransparency = true;
    const float air[4] = {0.1f, 0.1f, 0.5f, 1.0f};
    const float glow[2] = {0.3f, 0.0f};
    writePixel(w, 0, 0, air, glow);
    EXPECT_FLOAT_EQ(host.at(0, 0)[3], 0.3f);
    EXPECT_FLOAT_EQ(host.at(0, 0)[2], 0.5f);  // the colour itself, not laid over the source
    const float edge[2] = {0.3f, 0.8f};
    writePixel(w, 1, 0, air, edge);
    EXPECT_FLOAT_EQ(host.at(1, 0)[3], 0.8f);
}

TEST(WritePixel, OverRuleForPartialAlphaOnAnOpaqueHostImage) {
    const float source[4] = {0.2f, 0.4f, 0.6f, 0.5f};
    float c[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    layOver(source, c);
    const float t = 0.5f / (0.5f + 0.5f - 0.25f);
    EXPECT_FLOAT_EQ(c[0], 0.2f + t * 0.8f);
    EXPECT_FLOAT_EQ(c[1], 0.4f - t * 0.4f);
    EXPECT_FLOAT_EQ(c[3], 0.75f);
}

TEST(WritePixel, GreyImagesGetTheLuminanceAndMapsAreClamped) {
    FakeHost host;
    WriteContext w = hostContext(host, kModeMapColor);
    w.target.grey = true;
    const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    const float extra[2] = {0.0f, 1.0f};
    writePixel(w, 2, 1, colour, extra);
    const float y = 0.3f + 0.59f * 0.5f;
    EXPECT_FLOAT_EQ(host.at(2, 1)[0], y);
    EXPECT_FLOAT_EQ(host.at(2, 1)[1], y);
    EXPECT_FLOAT_EQ(host.at(2, 1)[3], 1.0f);
}

TEST(HighlightSpill, OneHotChannelLightsTheOthers) {
    float c[3] = {1.5f, 0.2f, 0.3f};
    spillHighlights(c);
    const float s = 0.5f * 60.0f / 256.0f;
    EXPECT_FLOAT_EQ(c[0], 1.5f);
    EXPECT_FLOAT_EQ(c[1], 0.2f + s / 2);
    EXPECT_FLOAT_EQ(c[2], 0.3f + s / 2);
    // Two channels above 1: the third gets the whole spill.
    float d[3] = {1.2f, 0.1f, 1.4f};
    spillHighlights(d);
    EXPECT_FLOAT_EQ(d[1], 0.1f + 0.6f * 60.0f / 256.0f);
    // The second of the other two takes the first's excess.
    float e[3] = {0.95f, 3.0f, 0.5f};
    spillHighlights(e);
    const float half = 2.0f * 60.0f / 256.0f / 2;
    EXPECT_FLOAT_EQ(e[0], 0.95f + half);
    EXPECT_FLOAT_EQ(e[2], 0.5f + half + (0.95f + half - 1.0f));
}

TEST(Rounding, RoundToEvenIsNearbyIntForEveryKindOfFloat) {
    // Ties, both signs, zeros, values at and past 2^23, infinities, NaN, and
    // floats spread over the whole range.
    std::vector<float> values = {0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -0.5f, -2.5f, 254.5f, 255.49998f, 32767.5f,
                                 8388607.5f, 8388608.0f, 8388609.0f, -8388607.5f, 1e30f, -1e30f,
                                 std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::denorm_min()};
    for (uint32_t bits = 0; bits < 0xFFFFFFFFu - 997u; bits += 997u) {
        float f;
        std::memcpy(&f, &bits, 4);
        values.push_back(f);
    }
    for (float v : values) {
        const float want = std::nearbyint(v), got = roundToEven(v);
        if (std::isnan(v)) {
            EXPECT_TRUE(std::isnan(got));
            continue;
        }
        ASSERT_EQ(std::memcmp(&want, &got, 4), 0) << v;
    }
}

TEST(WritePixel, ExportStoresEachDepthOnItsOwnScale) {
    const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
    const float extra[2] = {0.0f, 1.0f};
    for (int32_t bytes : {1, 2, 4}) {
        ExportImage image;
        image.width = 2;
        image.height = 1;
        image.bytesPerChannel = bytes;
        image.pixels.assign(size_t(2) * 4 * size_t(bytes), 0);
        WriteContext w;
        w.mode = kModeNormal;
        w.target.depthBits = bytes * 8;
        w.exportImage = &image;
        writePixel(w, 1, 0, colour, extra);
        const uint8_t* px = image.pixels.data() + 4 * size_t(bytes);
        if (bytes == 1) {
            EXPECT_EQ(px[0], 255);
            EXPECT_EQ(px[1], 128);
        } else if (bytes == 2) {
            uint16_t r, g;
            std::memcpy(&r, px, 2);
            std::memcpy(&g, px + 2, 2);
            EXPECT_EQ(r, 32768);  // 1.0 is 32768 on the 16-bit scale
            EXPECT_EQ(g, 16384);
        } else {
            float r;
            std::memcpy(&r, px, 4);
            EXPECT_EQ(r, 1.0f);
        }
    }
}

TEST(WritePixel, PreviewIsLaidOverItsBackground) {
    std::vector<uint8_t> planes(size_t(4) * 3, 0);
    for (size_t i = 0; i < 4; ++i) planes[i] = 200;  // red plane
    PreviewImage preview{planes.data(), 2, 2, 4, 3};
    WriteContext w;
    w.mode = kModeComposite;
    w.destination = kDestinationPreview;
    w.target.hasTransparency = true;
    w.preview = &preview;
    const float air[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    const float glow[2] = {0.5f, 0.0f};
    writePixel(w, 1, 1, air, glow);
    EXPECT_EQ(planes[3], 100);      // red: half the background
    EXPECT_EQ(planes[8 + 3], 128);  // blue: half the air
}

}  // namespace
}  // namespace tv
