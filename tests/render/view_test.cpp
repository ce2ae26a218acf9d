#include <gtest/gtest.h>

#include <cmath>

#include "render/render.h"
#include "render/shading.h"
#include "render/view.h"

namespace tv {
namespace {

// An engine prepared for a render of a fullWidth x fullHeight image.
struct Prepared {
    ParamRecord params = defaultRecord();
    StateBlock state{};
    Engine engine;

    void prepare(int32_t fullWidth, int32_t fullHeight, int32_t destination = kDestinationExport) {
        initEngine(engine, &params, &state);
        engine.target.fullWidth = fullWidth;
        engine.target.fullHeight = fullHeight;
        engine.target.area = {0, 0, fullHeight, fullWidth};
        preparePlanet(engine, destination == kDestinationPreview ? params.sampleFactor : 1);
        context = makeRenderContext(engine, destination);
    }
    RenderView view(const Rect& tile) {
        RenderView v;
        setupRenderView(v, context, tile);
        return v;
    }
    RenderContext context;
};

TEST(PlanetRadius, FollowsSizeSquaredAndTheShorterSide) {
    EXPECT_EQ(planetRadius(100, 300, 200), 200);   // size 100: the shorter side
    EXPECT_EQ(planetRadius(65, 2048, 2048), 864);  // floor(4225 / 10) = 422 -> 0.422 x 2048
    EXPECT_EQ(planetRadius(1, 10, 10), 1);         // under one pixel: clamped
    EXPECT_EQ(planetRadius(0, 4000, 4000), 1);
}

TEST(RenderViewSetUp, SampleFactorTwoHalvesRadiusAndCentre) {
    Prepared full, preview;
    full.params.xCenter = 0.3f;
    full.params.yCenter = 0.6f;
    full.prepare(1000, 800);
    preview.params = full.params;
    preview.params.sampleFactor = 2;
    preview.prepare(1000, 800, kDestinationPreview);

    const RenderView a = full.view({0, 0, 16, 16});
    const RenderView b = preview.view({0, 0, 16, 16});
    const float radius = float(planetRadius(65, 800, 1000));
    EXPECT_FLOAT_EQ(a.R, radius - 0.5f);
    EXPECT_FLOAT_EQ(b.R, radius / 2.0f - 0.5f);
    EXPECT_EQ(a.cx, 300);
    EXPECT_EQ(a.cy, 480);
    EXPECT_EQ(b.cx, 150);
    EXPECT_EQ(b.cy, 240);
    EXPECT_FALSE(a.flat);
    EXPECT_TRUE(a.lit);
}

TEST(RenderViewSetUp, ACentreFarOutOfRangeStaysOnItsSide) {
    // Settings are not range-checked: a centre a 10^30 image widths away is
    // still far to that side (not wrapped round the integers).
    Prepared right, left, none;
    right.params.xCenter = 1e30f;
    right.params.yCenter = -1e30f;
    right.prepare(400, 300);
    left.params.xCenter = -1e30f;
    left.params.yCenter = 1e30f;
    left.prepare(400, 300);
    none.params.xCenter = std::nanf("");
    none.prepare(400, 300);
    const RenderView r = right.view({0, 0, 8, 8}), l = left.view({0, 0, 8, 8}), n = none.view({0, 0, 8, 8});
    EXPECT_GT(r.cx, 100000000);
    EXPECT_LT(r.cy, -100000000);
    EXPECT_LT(l.cx, -100000000);
    EXPECT_GT(l.cy, 100000000);
    EXPECT_GT(std::abs(n.cx), 100000000);  // not a number: far away too
    EXPECT_EQ(n.cy, 150);
}

TEST(RenderViewSetUp, PlanetUnderOnePixelGetsRadiusOne) {
    Prepared p;
    p.params.planetSize = 1;
    p.params.sampleFactor = 4;
    p.prepare(10, 10, kDestinationPreview);
    EXPECT_FLOAT_EQ(p.view({0, 0, 3, 3}).R, 1.0f);
}

TEST(RenderViewSetUp, FlatMapsUseHalfTheHeightAndTheirOwnFlags) {
    Prepared p;
    p.params.outputMode = kModeCloudMask;
    p.prepare(400, 200);
    const RenderView v = p.view({0, 0, 8, 8});
    EXPECT_TRUE(v.flat);
    EXPECT_FALSE(v.lit);
    EXPECT_FLOAT_EQ(v.R, 100.0f);
    EXPECT_FLOAT_EQ(v.textureGain, 1.0f);  // land texture 50
}

TEST(SquareCoverage, MarchingSquaresAreas) {
    EXPECT_EQ(squareCoverage(1, 1, 1, 1, 0), 1.0f);
    EXPECT_EQ(squareCoverage(-1, -1, -1, -1, 0), 0.0f);
    // Top row above, bottom row below, crossing half way down: half the square.
    EXPECT_NEAR(squareCoverage(1, 1, -1, -1, 0), 0.5f, 1e-6f);
    // One corner above with crossings at the middle of both its edges.
    EXPECT_NEAR(squareCoverage(1, -1, -1, -1, 0), 0.125f, 1e-6f);
    EXPECT_NEAR(squareCoverage(-1, -1, -1, 1, 0), 0.125f, 1e-6f);
    // Three corners above: the complement.
    EXPECT_NEAR(squareCoverage(1, 1, 1, -1, 0), 0.875f, 1e-6f);
    // A crossing a quarter of the way along.
    EXPECT_NEAR(squareCoverage(3, 3, -1, -1, 0), 0.75f, 1e-6f);
    // Saddle: two triangles when the centre lies below, a band when above.
    EXPECT_NEAR(squareCoverage(1, -1, -1, 1, 0.5f), 2 * 0.5f * 0.25f * 0.25f, 1e-6f);
    EXPECT_NEAR(squareCoverage(1, -1, -1, 1, -0.5f), 1.0f - 2 * 0.5f * 0.25f * 0.25f, 1e-6f);
    // The marker -2 stands for the bottom-right value.
    EXPECT_EQ(squareCoverage(-2, -2, -2, 0.5f, 0), 1.0f);
    EXPECT_EQ(squareCoverage(-2, -2, -2, -0.5f, 0), 0.0f);
}

// Contour maps keep every sampled row of the grid, which the tests read.
TEST(FlatMaps, RowsAreLatitudesAboutATiltedAxis) {
    Prepared p;
    p.params.outputMode = kModeHypsometric;
    p.params.axisX = 0.6f;
    p.params.axisY = -0.8f;
    p.params.axisZ = 0.0f;
    p.prepare(64, 32);
    RenderView v = p.view({0, 0, 32, 64});
    TileBuffers buffers;
    ASSERT_TRUE(prepareBuffers(v, buffers, true));
    renderTile(v);
    // The top row is the north pole of the planet's axis, the bottom row the south pole.
    for (int32_t x = 0; x < 64; x += 9) {
        EXPECT_GT(sampledCellAt(v, x, 0)->sinLat, 0.99f) << x;
        EXPECT_LT(sampledCellAt(v, x, 31)->sinLat, -0.99f) << x;
        EXPECT_NEAR(sampledCellAt(v, x, 16)->sinLat, std::sin(-0.5f / 32.0f * 3.14159265f), 1e-3f) << x;
    }
}

TEST(FlatMaps, PreviewAtFactorTwoSamplesEverySecondMapPixel) {
    Prepared full, preview;
    full.params.outputMode = kModeHypsometric;
    full.prepare(64, 32);
    preview.params = full.params;
    preview.params.sampleFactor = 2;
    preview.params.previewOriginX = 6;
    preview.prepare(64, 32, kDestinationPreview);
    RenderView a = full.view({0, 0, 32, 64});
    RenderView b = preview.view({0, 0, 16, 16});
    TileBuffers bufferA, bufferB;
    ASSERT_TRUE(prepareBuffers(a, bufferA, true));
    ASSERT_TRUE(prepareBuffers(b, bufferB, true));
    renderTile(a);
    renderTile(b);
    for (int32_t y = 0; y < 16; y += 3)
        for (int32_t x = 0; x < 16; x += 5)
            EXPECT_FLOAT_EQ(sampledCellAt(b, x, y)->sinLat, sampledCellAt(a, 2 * x + 6, 2 * y)->sinLat);
}

TEST(TileConstants, LightFromTheViewerOrStraightBehind) {
    Prepared front, behind;
    for (Prepared* p : {&front, &behind}) {
        p->params.lightX = 0.0f;
        p->params.lightY = 0.0f;
        p->params.lightZ = 1.0f;
    }
    behind.params.backlighting = 1;
    front.prepare(32, 32);
    behind.prepare(32, 32);
    // From the viewer: a straight half vector, no night lift, no halo.
    const TileConstants f = computeTileConstants(front.view({0, 0, 32, 32}));
    EXPECT_EQ(f.halfVector.x, 0.0f);
    EXPECT_EQ(f.halfVector.y, 0.0f);
    EXPECT_EQ(f.halfVector.z, 1.0f);
    EXPECT_EQ(f.air.nightLift, 0.0f);
    EXPECT_EQ(f.air.haloGain, 0.0f);
    // From behind: the halo at full strength, and the half vector (undefined
    // for a light opposite the viewer) the fixed default.
    const TileConstants b = computeTileConstants(behind.view({0, 0, 32, 32}));
    EXPECT_EQ(b.light.z, -1.0f);
    EXPECT_EQ(b.air.backFade, 0.0f);
    EXPECT_EQ(b.air.haloGain, 1.0f);
    EXPECT_EQ(b.halfVector.z, -1.0f);
}

TEST(TileConstants, WhiteAndHalfFollowTheDepth) {
    for (int32_t depth : {8, 16, 32}) {
        Prepared p;
        p.params.landColor = {0xFFFF, 0xFFFF, 0xFFFF};
        initEngine(p.engine, &p.params, &p.state);
        p.engine.target.depthBits = depth;
        p.prepare(16, 16);
        const TileConstants tc = computeTileConstants(p.view({0, 0, 16, 16}));
        // A white parameter colour is W for 8 and 16 bits, half of W for 32.
        const float expectWhite = depth == 8 ? 255.0f : (depth == 16 ? 32768.0f : 65535.0f);
        EXPECT_EQ(tc.white, expectWhite) << depth;
        EXPECT_NEAR(tc.land[0] / tc.white, depth == 32 ? 0.5f : 1.0f, 1e-4f) << depth;
        EXPECT_EQ(tc.half, depth == 8 ? 128.0f : (depth == 16 ? 16384.0f : 32767.5f)) << depth;
    }
}

}  // namespace
}  // namespace tv
