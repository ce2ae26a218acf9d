// The render entry points: what the reference renders do not show (paths
// that must give the same pixels, tiny and impossible sizes, settings far out
// of range, the host and preview destinations).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "render/shading.h"
#include "render_helpers.h"
#include "synth/jobs.h"
#include "synth/noise.h"

namespace tv {
namespace {

using testing::renderRecord;
using testing::Rendered;
using testing::withMode;

TEST(RenderTest, TheNightSideShortcutChangesNoPixel) {
    // Without city lights the night side is not shaded at all; black city
    // lights make the renderer shade it in full, with the same result.
    for (int32_t mode : {kModeNormal, kModeLitMap}) {
        ParamRecord r = withMode(mode);
        testing::setLight(r, 0.9f, 0.0f, 0.43588989f);
        const Rendered shortcut = renderRecord(r, 160, 96);
        r.cities = 70;
        r.cityColor = {0, 0, 0};
        EXPECT_TRUE(shortcut.image.pixels == renderRecord(r, 160, 96).image.pixels) << mode;
    }
}

TEST(RenderTest, LandFractalsOfARowEqualTheFractalsOneByOne) {
    auto planet = std::make_unique<PlanetData>();
    buildSeedTable(*planet, 77);
    buildLattice(*planet);
    TileConstants tc;
    tc.landWarp = 0.01f * 57.0f / 0.57f * 1.5f;
    tc.roughness = 0.728f;
    CellSample cells[7];
    Vec3 p[7];
    LandNoise together[7];
    for (int i = 0; i < 100; ++i) {
        for (int k = 0; k < 7; ++k) {  // neighbouring pixels, and some far apart
            const float spread = i % 3 == 0 ? 0.2f : 0.001f;
            p[k] = normalize({std::sin(0.7f * i) + spread * k, 0.3f, std::cos(0.2f * i)});
            cells[k] = {0.01f * std::sin(1.3f * i + k), 0.4f * std::cos(0.3f * i - k), 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
        }
        const int32_t count = 1 + i % 7;
        landNoises(tc, *planet, cells, p, count, together);
        for (int k = 0; k < count; ++k) {
            const LandNoise one = landNoise(tc, *planet, cells[k], p[k]);
            ASSERT_TRUE(std::memcmp(&together[k].n, &one.n, 4) == 0 && std::memcmp(&together[k].n2, &one.n2, 4) == 0)
                << i << " pixel " << k;
        }
    }
}

TEST(RenderTest, DepthsHoldOnePictureAndFloatsKeepWhatIsBrighterThanWhite) {
    // 8 and 16 bits give the same picture; a 32-bit float holds the 16-bit
    // one with white at 1.0, and on the globe keeps values above 1 where the
    // integer images wash to white.
    for (int32_t mode : {kModeMapColor, kModeNormal}) {
        const ParamRecord r = withMode(mode);
        const Rendered a = renderRecord(r, 64, 48, 1), b = renderRecord(r, 64, 48, 2), c = renderRecord(r, 64, 48, 4);
        int32_t above = 0;
        for (int32_t i = 0; i < 64 * 48 * 3; ++i) {
            const int32_t x = i / 3 % 64, y = i / 3 / 64, ch = i % 3;
            EXPECT_NEAR(b.at(x, y, ch), a.at(x, y, ch), 2.5f / 255.0f) << mode << " " << x << "," << y;
            above += c.at(x, y, ch) > 1.0f;
            if (b.at(x, y, 0) < 0.99f && b.at(x, y, 1) < 0.99f && b.at(x, y, 2) < 0.99f) {
                EXPECT_EQ(c.at(x, y, ch), b.at(x, y, ch)) << mode << " " << x << "," << y;
            }
        }
        EXPECT_EQ(above > 0, mode == kModeNormal) << mode;
    }
}

TEST(RenderTest, EveryModeRendersDownToOnePixelAtEveryDepth) {
    for (int32_t mode = 0; mode <= kOutputModeCount; ++mode)
        for (int32_t bytes : {1, 2, 4})
            for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 2}}) {
                const Rendered out = renderRecord(withMode(mode), w, h, bytes);
                ASSERT_EQ(out.result, 0) << mode;
                for (int32_t i = 0; i < w * h * 4; ++i) {
                    const float v = out.at(i / 4 % w, i / 4 / w, i % 4);
                    ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && (v <= 1.0f || bytes == 4)) << mode << " " << bytes;
                }
            }
}

TEST(RenderTest, SettingsFarOutOfRangeStillRenderNumbers) {
    // Stored settings are not range-checked, so a file may hold any value;
    // the render still ends and stores numbers (at 32 bits, where a value
    // that is not a number would be kept as it is).
    const struct {
        int32_t ParamRecord::*field;
        int32_t value;
    } extremes[] = {{&ParamRecord::landComplexity, INT32_MAX}, {&ParamRecord::seaLevel, INT32_MIN},
                    {&ParamRecord::landTexture, INT32_MAX},    {&ParamRecord::cloudViscosity, INT32_MAX},
                    {&ParamRecord::planetSize, INT32_MAX},     {&ParamRecord::craterSize, INT32_MAX}};
    for (const auto& extreme : extremes)
        for (int32_t mode : {kModeNormal, kModeLitMap, kModeHypsometric, kModeLandBump}) {
            ParamRecord r = withMode(mode);
            r.*extreme.field = extreme.value;
            const Rendered out = renderRecord(r, 24, 16, 4);
            ASSERT_EQ(out.result, 0);
            for (int32_t i = 0; i < 24 * 16 * 4; ++i)
                ASSERT_FALSE(std::isnan(out.at(i / 4 % 24, i / 4 / 24, i % 4))) << mode << " " << extreme.value;
        }
}

TEST(RenderTest, ExportRefusesImpossibleSizes) {
    ParamRecord r = defaultRecord();
    StateBlock state{};
    Engine engine;
    initEngine(engine, &r, &state);
    ExportImage image;
    EXPECT_NE(renderToExportImage(engine, image, 0, 10, 1), 0);
    EXPECT_NE(renderToExportImage(engine, image, 10, 10, 3), 0);
    EXPECT_NE(renderFinal(engine), 0);  // no host to render into
    // An export image whose buffer cannot hold its size, or with a sample
    // width of its own, is refused before anything is stored.
    ExportImage small;
    small.width = 64;
    small.height = 32;
    small.pixels.assign(64 * 32 * 4 - 1, 7);
    engine.exportImage = &small;
    r.renderDestination = kDestinationExport;
    EXPECT_EQ(renderAgain(engine), -30100);
    small.pixels.push_back(7);
    small.bytesPerChannel = 3;
    EXPECT_EQ(renderAgain(engine), -30100);
    EXPECT_TRUE(std::all_of(small.pixels.begin(), small.pixels.end(), [](uint8_t b) { return b == 7; }));
    small.bytesPerChannel = 1;
    EXPECT_EQ(renderAgain(engine), 0);
    EXPECT_FALSE(std::all_of(small.pixels.begin(), small.pixels.end(), [](uint8_t b) { return b == 7; }));
}

// A host whose filter area starts at (top 10, left 20) of a larger image.
struct OffsetHost {
    static constexpr int32_t kWidth = 300, kHeight = 280;
    Rect area{10, 20, 10 + 260, 20 + 270};
    std::vector<Rect> requested;
    std::vector<int32_t> stores = std::vector<int32_t>(size_t(kWidth) * kHeight, 0);
    bool cancel = false;

    HostBridge bridge() {
        HostBridge b;
        b.context = this;
        b.setUpPlanes = [](void* c, int32_t, RenderTarget& t) {
            auto* h = static_cast<OffsetHost*>(c);
            t.area = h->area;
            t.fullWidth = h->area.width();
            t.fullHeight = h->area.height();
            return int32_t(0);
        };
        b.requestTile = [](void* c, const Rect& tile) {
            static_cast<OffsetHost*>(c)->requested.push_back(tile);
            return int32_t(0);
        };
        b.cancelled = [](void* c) { return static_cast<OffsetHost*>(c)->cancel; };
        b.readSource = [](void*, int32_t, int32_t, float rgba[4]) { rgba[0] = rgba[1] = rgba[2] = rgba[3] = 1.0f; };
        b.store = [](void* c, int32_t x, int32_t y, const float*) {
            ++static_cast<OffsetHost*>(c)->stores[size_t(y) * kWidth + size_t(x)];
        };
        return b;
    }
};

TEST(RenderFinal, TilesAndPixelsGoToTheHostInHostCoordinatesUntilACancel) {
    for (bool cancel : {false, true}) {
        OffsetHost host;
        host.cancel = cancel;
        HostBridge bridge = host.bridge();
        ParamRecord r = defaultRecord();
        StateBlock state{};
        Engine engine;
        initEngine(engine, &r, &state);
        engine.host = &bridge;
        setForcedThreadCount(1);
        EXPECT_EQ(renderFinal(engine), cancel ? -128 : 0);
        setForcedThreadCount(0);
        EXPECT_EQ(r.renderDestination, kDestinationHost);
        EXPECT_EQ(r.passIndex, -1);
        if (cancel) {
            EXPECT_LT(host.requested.size(), 4u);
            continue;
        }
        ASSERT_EQ(host.requested.size(), 4u);  // 260 x 270: two by two tiles
        for (const Rect& t : host.requested) EXPECT_TRUE(t.top >= 10 && t.left >= 20);
        for (int32_t y = 0; y < OffsetHost::kHeight; ++y)
            for (int32_t x = 0; x < OffsetHost::kWidth; ++x)
                ASSERT_EQ(host.stores[size_t(y) * OffsetHost::kWidth + size_t(x)], host.area.contains(x, y) ? 1 : 0)
                    << x << "," << y;
    }
}

}  // namespace
}  // namespace tv
