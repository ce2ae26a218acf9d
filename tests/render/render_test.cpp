#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "synth/jobs.h"
#include "render_helpers.h"

namespace tv {
namespace {

using testing::renderRecord;
using testing::Rendered;
using testing::setLight;
using testing::withMode;

class RenderTest : public ::testing::Test {
protected:
    void TearDown() override { setForcedThreadCount(0); }
};

// The pixel's distance from the image centre in planet radii.
float radiusAt(int32_t x, int32_t y, int32_t size, const ParamRecord& r) {
    const float R = float(planetRadius(r.planetSize, size, size)) - 0.5f;
    const float dx = float(size / 2 - x), dy = float(size / 2 - y);
    return std::sqrt(dx * dx + dy * dy) / R;
}

TEST_F(RenderTest, SameSettingsGiveIdenticalBytesOnAnyThreadCount) {
    ParamRecord r = withMode(kModeLitMap);
    r.cities = 70;
    setLight(r, 0.9f, 0.0f, 0.43588989f);
    std::vector<uint8_t> first;
    for (int32_t threads : {1, 2, 7}) {
        setForcedThreadCount(threads);
        // 600 x 300 is three by two tiles, the last ones short.
        const Rendered out = renderRecord(r, 600, 300);
        ASSERT_EQ(out.result, 0);
        if (first.empty())
            first = out.image.pixels;
        else
            EXPECT_TRUE(out.image.pixels == first) << threads << " threads";
    }
}

TEST_F(RenderTest, CitiesLightTheNightSide) {
    ParamRecord r = withMode(kModeLitMap);
    r.cities = 70;
    setLight(r, 0.0f, -1.0f, 0.0f);  // the light from the north: the southern half is night
    ParamRecord dark = r;
    dark.cities = 0;
    const Rendered lit = renderRecord(r, 256, 128), plain = renderRecord(dark, 256, 128);
    int32_t lights = 0;
    for (int32_t y = 80; y < 128; ++y)
        for (int32_t x = 0; x < 256; ++x)
            if (lit.luminance(x, y) > plain.luminance(x, y) + 0.02f) ++lights;
    EXPECT_GT(lights, 0);
    // The cities mode shows the lights alone, as if everywhere were night.
    const Rendered cities = renderRecord(withMode(kModeCities), 256, 128);
    ParamRecord citiesOn = withMode(kModeCities);
    citiesOn.cities = 70;
    const Rendered shown = renderRecord(citiesOn, 256, 128);
    int32_t north = 0, any = 0;
    for (int32_t y = 0; y < 128; ++y)
        for (int32_t x = 0; x < 256; ++x) {
            EXPECT_EQ(cities.luminance(x, y), 0.0f);
            if (shown.luminance(x, y) > 0.0f) {
                ++any;
                if (y < 64) ++north;
            }
        }
    EXPECT_GT(north, 0);
    EXPECT_GT(any, north / 2);
}

TEST_F(RenderTest, TheNightSideShortcutChangesNoPixel) {
    // Without city lights the night side is not shaded at all; black city
    // lights make the renderer shade it in full, with the same result.
    for (int32_t mode : {kModeNormal, kModeLitMap}) {
        ParamRecord r = withMode(mode);
        setLight(r, 0.9f, 0.0f, 0.43588989f);
        const Rendered shortcut = renderRecord(r, 160, 96);
        r.cities = 70;
        r.cityColor = {0, 0, 0};
        const Rendered full = renderRecord(r, 160, 96);
        EXPECT_TRUE(shortcut.image.pixels == full.image.pixels) << mode;
    }
}

TEST_F(RenderTest, OceanMaskFreezesEverySeaAboveIceFifty) {
    ParamRecord r = withMode(kModeOceanMask);
    r.ice = 50;
    const Rendered open = renderRecord(r, 128, 64);
    r.ice = 51;
    const Rendered frozen = renderRecord(r, 128, 64);
    int32_t black = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 128; ++x) {
            if (open.at(x, y, 0) == 0.0f) ++black;
            ASSERT_EQ(frozen.at(x, y, 0), 1.0f) << x << "," << y;
        }
    EXPECT_GT(black, 128 * 64 / 10);  // open sea at 50
}

TEST_F(RenderTest, CloudMapsAreBlackWithoutCloudCover) {
    for (int32_t mode : {kModeCloudMask, kModeCloudBump}) {
        ParamRecord r = withMode(mode);
        const Rendered cloudy = renderRecord(r, 96, 48);
        r.cloudCoverage = 0;
        const Rendered clear = renderRecord(r, 96, 48);
        float most = 0.0f;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 96; ++x) {
                ASSERT_EQ(clear.at(x, y, 1), 0.0f) << mode;
                most = std::max(most, cloudy.at(x, y, 1));
            }
        EXPECT_GT(most, 0.1f) << mode;
    }
}

TEST_F(RenderTest, LandBumpIsMidGreyAtHeightZero) {
    ParamRecord r = withMode(kModeLandBump);
    r.landTexture = 0;  // no terrain detail
    r.craterCount = 0;
    const Rendered flat8 = renderRecord(r, 64, 32);
    const Rendered flat16 = renderRecord(r, 64, 32, 2);
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            ASSERT_EQ(flat8.image.pixels[(size_t(y) * 64 + size_t(x)) * 4], 128);
            ASSERT_FLOAT_EQ(flat16.at(x, y, 0), 0.5f);
        }
    // With terrain the map shows heights on both sides of the middle.
    const Rendered hilly = renderRecord(withMode(kModeLandBump), 64, 32);
    float lo = 1.0f, hi = 0.0f;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 64; ++x) {
            lo = std::min(lo, hilly.at(x, y, 0));
            hi = std::max(hi, hilly.at(x, y, 0));
        }
    EXPECT_LT(lo, 0.45f);
    EXPECT_GT(hi, 0.55f);
}

TEST_F(RenderTest, BumpWithoutOceanCutsTheSeaFloorAtSeaLevel) {
    ParamRecord r = withMode(kModeBumpWithoutOcean);
    r.seaLevel = 70;
    const Rendered cut = renderRecord(r, 64, 32);
    const float v = 0.02f * 20, S = 0.4f * v * v;
    float lo = 1.0f;
    for (int32_t y = 0; y < 32; ++y)
        for (int32_t x = 0; x < 64; ++x) lo = std::min(lo, cut.at(x, y, 0));
    EXPECT_NEAR(lo, (S * 255.0f + 128.0f) / 255.0f, 1.0f / 255.0f);
}

TEST_F(RenderTest, DepthsAgreeOnScale) {
    // Unlit map colours: 8 and 16 bits give the same picture; 32-bit floats
    // are on the 65535 scale, so the same colours come out at half (and what
    // washes out to white at 16 bits keeps its headroom there).
    const ParamRecord r = withMode(kModeMapColor);
    const Rendered a = renderRecord(r, 64, 32, 1), b = renderRecord(r, 64, 32, 2), c = renderRecord(r, 64, 32, 4);
    for (int32_t y = 0; y < 32; y += 3)
        for (int32_t x = 0; x < 64; x += 3)
            for (int ch = 0; ch < 3; ++ch) {
                EXPECT_NEAR(b.at(x, y, ch), a.at(x, y, ch), 2.5f / 255.0f) << x << "," << y;
                if (b.at(x, y, 0) < 0.95f && b.at(x, y, 1) < 0.95f && b.at(x, y, 2) < 0.95f) {
                    EXPECT_NEAR(c.at(x, y, ch), 0.5f * b.at(x, y, ch), 2.0f / 255.0f) << x << "," << y;
                }
            }
}

TEST_F(RenderTest, AirDepthZeroLeavesTheSpaceAroundThePlanetBlack) {
    ParamRecord r = withMode(kModeNormal);
    const Rendered glow = renderRecord(r, 96, 96);
    r.airDepth = 0;
    const Rendered bare = renderRecord(r, 96, 96);
    int32_t glowing = 0;
    for (int32_t y = 0; y < 96; ++y)
        for (int32_t x = 0; x < 96; ++x) {
            if (radiusAt(x, y, 96, r) < 1.05f) continue;
            ASSERT_EQ(bare.luminance(x, y), 0.0f);
            if (glow.luminance(x, y) > 0.0f) ++glowing;
        }
    EXPECT_GT(glowing, 20);
}

TEST_F(RenderTest, LightFromBehindMakesAReddenedHalo) {
    ParamRecord r = withMode(kModeNormal);
    setLight(r, 0.0f, 0.0f, 1.0f);
    r.backlighting = 1;
    r.sunset = 100;
    r.airDepth = 60;
    r.cloudCoverage = 0;
    const Rendered halo = renderRecord(r, 128, 128);
    // Beside the limb the back air glows in its reddened colour: red above the
    // air colour's own share.
    const float airRatio = float(r.airColor.red) / float(r.airColor.blue);
    int32_t ring = 0;
    for (int32_t y = 0; y < 128; ++y)
        for (int32_t x = 0; x < 128; ++x) {
            const float rr = radiusAt(x, y, 128, r);
            if (rr < 1.02f || rr > 1.1f) continue;
            if (halo.at(x, y, 0) > 0.1f) {
                ++ring;
                EXPECT_GT(halo.at(x, y, 0), airRatio * halo.at(x, y, 2)) << x << "," << y;
            }
        }
    EXPECT_GT(ring, 50);
    // The middle of the disk is the night side.
    EXPECT_LT(halo.luminance(64, 64), 0.02f);
}

TEST_F(RenderTest, SunsetZeroKeepsTheAirColour) {
    ParamRecord r = withMode(kModeAirColor);
    r.sunset = 0;
    r.airColor = {0x6000, 0x8000, 0xC000};
    const Rendered air = renderRecord(r, 128, 64, 2);
    int32_t coloured = 0;
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 128; ++x) {
            const float red = air.at(x, y, 0);
            if (red < 0.05f) continue;
            ++coloured;
            EXPECT_NEAR(air.at(x, y, 1) / red, 0x80 / float(0x60), 0.01f);
            EXPECT_NEAR(air.at(x, y, 2) / red, 0xC0 / float(0x60), 0.01f);
        }
    EXPECT_GT(coloured, 128 * 64 / 3);
}

TEST_F(RenderTest, LightFromTheViewerLeavesNoNightSide) {
    // A sea planet without air or clouds: only the light decides what is dark.
    ParamRecord r = withMode(kModeNormal);
    r.seaLevel = 100;
    r.airDepth = 0;
    r.cloudCoverage = 0;
    auto darkPixels = [&](const ParamRecord& rec) {
        const Rendered out = renderRecord(rec, 96, 96);
        int32_t dark = 0;
        for (int32_t y = 0; y < 96; ++y)
            for (int32_t x = 0; x < 96; ++x)
                if (radiusAt(x, y, 96, rec) < 0.95f && out.luminance(x, y) == 0.0f) ++dark;
        return dark;
    };
    EXPECT_GT(darkPixels(r), 100);  // the default light leaves a night side
    setLight(r, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(darkPixels(r), 0);
}

TEST_F(RenderTest, ModeZeroIsAnUnlitGlobe) {
    ParamRecord r = withMode(0);
    setLight(r, 0.0f, 0.0f, 1.0f);
    r.backlighting = 1;  // light from behind: a normal globe would be all night
    r.cloudCoverage = 0;
    const Rendered unlit = renderRecord(r, 64, 64);
    r.outputMode = kModeNormal;
    const Rendered night = renderRecord(r, 64, 64);
    EXPECT_GT(unlit.luminance(32, 32), 0.05f);
    EXPECT_LT(night.luminance(32, 32), 0.02f);
}

TEST_F(RenderTest, EveryModeRendersDownToOnePixelAtEveryDepth) {
    for (int32_t mode = 0; mode <= kOutputModeCount; ++mode)
        for (int32_t bytes : {1, 2, 4})
            for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 2}}) {
                const Rendered out = renderRecord(withMode(mode), w, h, bytes);
                ASSERT_EQ(out.result, 0) << mode;
                for (int32_t y = 0; y < h; ++y)
                    for (int32_t x = 0; x < w; ++x)
                        for (int c = 0; c < 4; ++c) {
                            const float v = out.at(x, y, c);
                            ASSERT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << mode << " " << bytes;
                        }
            }
}

TEST_F(RenderTest, SettingsFarOutOfRangeStillRenderNumbers) {
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
            for (int32_t y = 0; y < 16; ++y)
                for (int32_t x = 0; x < 24; ++x)
                    for (int c = 0; c < 4; ++c)
                        ASSERT_FALSE(std::isnan(out.at(x, y, c))) << mode << " " << extreme.value << " at " << x << ","
                                                                  << y;
        }
}

TEST_F(RenderTest, ExportRefusesImpossibleSizes) {
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
    small.bytesPerChannel = 1;
    small.pixels.assign(64 * 32 * 4 - 1, 7);
    engine.exportImage = &small;
    r.renderDestination = kDestinationExport;
    EXPECT_EQ(renderAgain(engine), -30100);
    small.pixels.push_back(7);
    small.bytesPerChannel = 3;
    EXPECT_EQ(renderAgain(engine), -30100);
    EXPECT_TRUE(std::all_of(small.pixels.begin(), small.pixels.end(), [](uint8_t b) { return b == 7; }));
    small.bytesPerChannel = 1;
    EXPECT_EQ(renderAgain(engine), 0);  // a buffer of the right size
    EXPECT_FALSE(std::all_of(small.pixels.begin(), small.pixels.end(), [](uint8_t b) { return b == 7; }));
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// A host whose filter area starts at (top 10, left 20) of a larger image.
struct OffsetHost {
    static constexpr int32_t kWidth = 300, kHeight = 280;
    Rect area{10, 20, 10 + 260, 20 + 270};
    std::vector<Rect> requested;
    std::vector<int32_t> stores = std::vector<int32_t>(size_t(kWidth) * kHeight, 0);
    bool cancelAfterFirst = false;
    int32_t cancelQuestions = 0;

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
        b.cancelled = [](void* c) {
            auto* h = static_cast<OffsetHost*>(c);
            return h->cancelAfterFirst && ++h->cancelQuestions >= 1;
        };
        b.readSource = [](void*, int32_t, int32_t, float rgba[4]) { rgba[0] = rgba[1] = rgba[2] = rgba[3] = 1.0f; };
        b.store = [](void* c, int32_t x, int32_t y, const float*) {
            auto* h = static_cast<OffsetHost*>(c);
            ++h->stores[size_t(y) * kWidth + size_t(x)];
        };
        return b;
    }
};

TEST(RenderFinal, TilesAndPixelsGoToTheHostInHostCoordinates) {
    OffsetHost host;
    HostBridge bridge = host.bridge();
    ParamRecord r = defaultRecord();
    StateBlock state{};
    Engine engine;
    initEngine(engine, &r, &state);
    engine.host = &bridge;
    ASSERT_EQ(renderFinal(engine), 0);
    EXPECT_EQ(r.renderDestination, kDestinationHost);
    EXPECT_EQ(r.passIndex, -1);
    ASSERT_EQ(host.requested.size(), 4u);  // 260 x 270: two by two tiles
    for (const Rect& t : host.requested) {
        EXPECT_GE(t.top, 10);
        EXPECT_GE(t.left, 20);
    }
    for (int32_t y = 0; y < OffsetHost::kHeight; ++y)
        for (int32_t x = 0; x < OffsetHost::kWidth; ++x)
            ASSERT_EQ(host.stores[size_t(y) * OffsetHost::kWidth + size_t(x)], host.area.contains(x, y) ? 1 : 0)
                << x << "," << y;
}

TEST(RenderFinal, ACancelStopsTheRenderWithTheCancelCode) {
    OffsetHost host;
    host.cancelAfterFirst = true;
    HostBridge bridge = host.bridge();
    ParamRecord r = defaultRecord();
    StateBlock state{};
    Engine engine;
    initEngine(engine, &r, &state);
    engine.host = &bridge;
    setForcedThreadCount(1);
    EXPECT_EQ(renderFinal(engine), -128);
    setForcedThreadCount(0);
    EXPECT_LT(host.requested.size(), 4u);
}

TEST(RenderPreview, FillsThePreviewImageAtItsReduction) {
    std::vector<uint8_t> planes(size_t(40) * 30 * 3, 0);
    ParamRecord r = defaultRecord();
    r.sampleFactor = 2;
    StateBlock state{};
    state.fullRenderRect = {0, 0, 60, 80};
    state.preview = PreviewImage{planes.data(), 40, 30, 40 * 30, 3};
    Engine engine;
    initEngine(engine, &r, &state);
    ASSERT_EQ(renderPreview(engine), 0);
    EXPECT_EQ(r.renderDestination, kDestinationPreview);
    // The planet (radius 0.422 x 60 / 2 pixels) in the middle of the preview, space in the corner.
    const size_t centre = 15 * 40 + 20;
    EXPECT_GT(int(planes[centre]) + planes[1200 + centre] + planes[2400 + centre], 20);
    EXPECT_EQ(int(planes[0]) + planes[1200] + planes[2400], 0);
}

}  // namespace
}  // namespace tv
