// The geometry of a view: planet radius and centre, previews at a reduction,
// and the coverage of a pixel square.
#include <gtest/gtest.h>

#include <cmath>

#include "render/render.h"
#include "render/view.h"

namespace tv {
namespace {

// An engine prepared for a render of a fullWidth x fullHeight image.
struct Prepared {
    ParamRecord params = defaultRecord();
    StateBlock state{};
    Engine engine;
    RenderContext context;

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
};

TEST(RenderView, PreviewsHalveRadiusAndCentreAndFarSettingsStayOnTheirSide) {
    Prepared full, preview;
    full.params.xCenter = 0.3f;
    full.params.yCenter = 0.6f;
    full.prepare(1000, 800);
    preview.params = full.params;
    preview.params.sampleFactor = 2;
    preview.prepare(1000, 800, kDestinationPreview);
    const RenderView a = full.view({0, 0, 16, 16}), b = preview.view({0, 0, 16, 16});
    EXPECT_FLOAT_EQ(b.R, float(planetRadius(65, 800, 1000)) / 2.0f - 0.5f);
    EXPECT_TRUE(a.cx == 300 && a.cy == 480 && b.cx == 150 && b.cy == 240);
    // Settings are not range-checked: a centre 10^30 image widths away, or
    // one that is not a number, is still far to its side (not wrapped round
    // the integers).
    Prepared right, none;
    right.params.xCenter = 1e30f;
    right.params.yCenter = -1e30f;
    right.prepare(400, 300);
    none.params.xCenter = std::nanf("");
    none.prepare(400, 300);
    const RenderView r = right.view({0, 0, 8, 8}), n = none.view({0, 0, 8, 8});
    EXPECT_TRUE(r.cx > 100000000 && r.cy < -100000000 && std::abs(n.cx) > 100000000 && n.cy == 150);
}

TEST(SquareCoverage, MarchingSquaresAreas) {
    const struct {
        float c[4], t, area;
    } cases[] = {
        {{1, 1, 1, 1}, 0, 1.0f},
        {{-1, -1, -1, -1}, 0, 0.0f},
        {{1, 1, -1, -1}, 0, 0.5f},      // top row above, crossing half way down
        {{1, -1, -1, -1}, 0, 0.125f},   // one corner, crossings at the middle of its edges
        {{-1, -1, -1, 1}, 0, 0.125f},
        {{1, 1, 1, -1}, 0, 0.875f},     // three corners: the complement
        {{3, 3, -1, -1}, 0, 0.75f},     // a crossing a quarter of the way along
        {{1, -1, -1, 1}, 0.5f, 2 * 0.5f * 0.25f * 0.25f},         // saddle, centre below: two triangles
        {{1, -1, -1, 1}, -0.5f, 1.0f - 2 * 0.5f * 0.25f * 0.25f},  // centre above: a band
        {{-2, -2, -2, 0.5f}, 0, 1.0f},  // -2 stands for the bottom-right value
        {{-2, -2, -2, -0.5f}, 0, 0.0f},
    };
    for (const auto& k : cases)
        EXPECT_NEAR(squareCoverage(k.c[0], k.c[1], k.c[2], k.c[3], k.t), k.area, 1e-6f)
            << k.c[0] << " " << k.c[1] << " " << k.c[2] << " " << k.c[3] << " at " << k.t;
}

}  // namespace
}  // namespace tv
