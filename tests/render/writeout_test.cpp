// The write-out of one pixel: the output modes' compositing over the host's
// picture, the selection, grey images, rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "render/writeout.h"

namespace tv {
namespace {

// One host pixel: its picture (0.2, 0.4, 0.6, alpha 1) and what is stored.
struct OnePixelHost {
    float source[4] = {0.2f, 0.4f, 0.6f, 1.0f};
    float mask = 1.0f;
    float stored[4] = {-1, -1, -1, -1};
    HostBridge bridge;
    OnePixelHost() {
        bridge.context = this;
        bridge.readSource = [](void* c, int32_t, int32_t, float rgba[4]) {
            std::memcpy(rgba, static_cast<OnePixelHost*>(c)->source, sizeof(float) * 4);
        };
        bridge.readMask = [](void* c, int32_t, int32_t) { return static_cast<OnePixelHost*>(c)->mask; };
        bridge.store = [](void* c, int32_t, int32_t, const float rgba[4]) {
            std::memcpy(static_cast<OnePixelHost*>(c)->stored, rgba, sizeof(float) * 4);
        };
    }
};

TEST(WritePixel, ModesCompositeTheHostPictureUnderTheSelection) {
    const struct {
        const char* what;
        int32_t mode, depth;
        bool grey, transparency;
        float mask;
        float colour[4], extra[2];  // the cell: colour and (air opacity, surface coverage)
        float want[4];
    } cases[] = {
        {"normal, opaque", kModeNormal, 8, false, false, 1.0f, {0.9f, 0.1f, 0.1f, 1}, {0, 1}, {0.9f, 0.1f, 0.1f, 1}},
        {"composite adds the picture off the disk", kModeComposite, 8, false, false, 1.0f, {0.1f, 0.1f, 0.5f, 1},
         {0, 0}, {0.3f, 0.5f, 1.0f, 1}},
        {"composite at half coverage", kModeComposite, 8, false, false, 1.0f, {0.1f, 0.1f, 0.5f, 1}, {0, 0.5f},
         {0.2f, 0.3f, 0.8f, 1}},
        {"composite on a layer: air becomes opacity", kModeComposite, 8, false, true, 1.0f, {0.1f, 0.1f, 0.5f, 1},
         {0.3f, 0}, {0.1f, 0.1f, 0.5f, 0.3f}},
        {"composite on a layer: coverage wins", kModeComposite, 8, false, true, 1.0f, {0.1f, 0.1f, 0.5f, 1},
         {0.3f, 0.8f}, {0.1f, 0.1f, 0.5f, 0.8f}},
        {"outside the selection the picture stays", kModeComposite, 8, false, false, 0.0f, {0.9f, 0.1f, 0.1f, 1},
         {0, 1}, {0.2f, 0.4f, 0.6f, 1}},
        {"half selected", kModeComposite, 8, false, false, 0.5f, {0.9f, 0.1f, 0.1f, 1}, {0, 1},
         {0.55f, 0.25f, 0.35f, 1}},
        {"maps are clamped", kModeMapColor, 8, false, false, 1.0f, {1.2f, 1.3f, 1.1f, 1}, {0, 1}, {1, 1, 1, 1}},
        {"grey images store the luminance", kModeMapColor, 8, true, false, 1.0f, {1.0f, 0.5f, 0.0f, 1}, {0, 1},
         {0.595f, 0.595f, 0.595f, 1}},
        // Float images composite the same way and keep what is brighter than white.
        {"float composite adds the picture", kModeComposite, 32, false, false, 1.0f, {0.1f, 0.1f, 0.5f, 1}, {0, 0},
         {0.3f, 0.5f, 1.1f, 1}},
        {"float composite on a layer", kModeComposite, 32, false, true, 1.0f, {1.5f, 0.1f, 0.5f, 1}, {0.3f, 0},
         {1.5f, 0.1f, 0.5f, 0.3f}},
        {"float selection", kModeNormal, 32, false, false, 0.5f, {1.8f, 0.1f, 0.1f, 1}, {0, 1}, {1.0f, 0.25f, 0.35f, 1}},
    };
    for (const auto& k : cases) {
        OnePixelHost host;
        host.mask = k.mask;
        WriteContext w;
        w.mode = k.mode;
        w.destination = kDestinationHost;
        w.target.depthBits = k.depth;
        w.target.floatUnclamped = k.depth == 32;
        w.target.grey = k.grey;
        w.target.hasTransparency = k.transparency;
        w.target.hasMask = true;
        w.host = &host.bridge;
        writePixel(w, 0, 0, k.colour, k.extra);
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(host.stored[c], k.want[c], 1e-6f) << k.what << ", channel " << c;
    }
}

TEST(WritePixel, OverRuleForPartialAlpha) {
    const float source[4] = {0.2f, 0.4f, 0.6f, 0.5f};
    float c[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    layOver(source, c);
    const float t = 0.5f / (0.5f + 0.5f - 0.25f);
    EXPECT_FLOAT_EQ(c[0], 0.2f + t * 0.8f);
    EXPECT_FLOAT_EQ(c[1], 0.4f - t * 0.4f);
    EXPECT_FLOAT_EQ(c[3], 0.75f);
}

TEST(Rounding, RoundToEvenIsNearbyIntForEveryKindOfFloat) {
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
        if (std::isnan(v))
            EXPECT_TRUE(std::isnan(got));
        else
            ASSERT_EQ(std::memcmp(&want, &got, 4), 0) << v;
    }
}

}  // namespace
}  // namespace tv
