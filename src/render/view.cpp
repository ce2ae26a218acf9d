#include "render/view.h"

#include <algorithm>
#include <cmath>

#include "base/det_math.h"
#include <cstdlib>
#include <new>

namespace tv {

int32_t planetRadius(int32_t size, int32_t height, int32_t width) {
    const int64_t squared = int64_t(size) * int64_t(size) / 10;
    const double r = double(squared) / 1000.0 * double(std::min(height, width));
    const double t = std::trunc(r);
    return t < 1.0 ? 1 : int32_t(std::min(t, 2147483647.0));
}

float viewRadius(const ParamRecord& params, int32_t mode, int32_t fullWidth, int32_t fullHeight,
                 int32_t sampleFactor) {
    const float sf = float(std::max(1, sampleFactor));
    const float R = isFlatMode(mode) ? 0.5f * float(fullHeight) / sf
                                     : float(planetRadius(params.planetSize, fullHeight, fullWidth)) / sf - 0.5f;
    return R > 0.0f ? R : 1.0f;
}

bool isLitMode(int32_t mode) {
    switch (mode) {
        case kModeNormal:
        case kModeComposite:
        case kModeLitMap:
        case kModeAirColor:
        case kModeMural:
        case kModeHypsometric:
            return true;
        default:
            return false;
    }
}

namespace {

// A centre coordinate in render pixels. Settings are not range-checked: one
// far out of range (or not a number) puts the planet a billion pixels away,
// where the pixel arithmetic stays inside the integers.
int32_t centreCoordinate(double full, float fraction, int32_t origin, int32_t sampleFactor) {
    const double c = std::trunc((full * fraction - origin) / sampleFactor);
    return c > -1e9 ? int32_t(std::min(c, 1e9)) : int32_t(-1e9);
}

// Splits a mip level into its integer part and fraction, clamped into 0..top.
void splitLevel(float ln2R, float lnBase, int32_t topLevel, float& level, float& fraction) {
    float q = (ln2R - lnBase) / -0.6931471805599453f;
    if (!(q > 0.0f)) q = 0.0f;
    if (q > float(topLevel)) q = float(topLevel);
    level = std::trunc(q);
    fraction = q - level;
}

}  // namespace

void setupRenderView(RenderView& v, const RenderContext& ctx, const Rect& tile) {
    const ParamRecord& p = *ctx.params;
    const int32_t sf = std::max(1, ctx.sampleFactor);
    v.index = 0;
    v.tag = v.index + 1000;
    v.context = &ctx;
    v.tile = tile;
    v.gridWidth = tile.width() + 2;
    v.gridHeight = tile.height() + 2;
    v.wholeGrid = ctx.mode == kModeHypsometric;

    v.width = float(ctx.target.fullWidth);
    v.height = float(ctx.target.fullHeight);
    v.invWidth = v.width > 0.0f ? 1.0f / v.width : 0.0f;
    v.invHeight = v.height > 0.0f ? 1.0f / v.height : 0.0f;
    v.one = 1.0f;
    v.useCloudMap = p.realClouds != 0 && ctx.planet->cloudMap != nullptr;
    v.coriolisScale = 0.04f * float(p.cloudCoriolis);
    v.flat = isFlatMode(ctx.mode);
    v.lit = isLitMode(ctx.mode);

    v.R = viewRadius(p, ctx.mode, ctx.target.fullWidth, ctx.target.fullHeight, sf);
    v.lnR = tv::dmath::log(v.R);
    v.ln2R = tv::dmath::log(2.0f * v.R);
    v.lnCloudBase = ctx.lnCloudBase;
    splitLevel(v.ln2R, ctx.lnCloudBase, ctx.cloudTopLevel, v.cloudLevel, v.cloudLevelFrac);
    splitLevel(v.ln2R, ctx.lnMapBase, ctx.mapTopLevel, v.mapLevel, v.mapLevelFrac);

    v.cx = centreCoordinate(v.width, p.xCenter, ctx.originX, sf);
    v.cy = centreCoordinate(v.height, p.yCenter, ctx.originY, sf);
    v.textureGain = 0.02f * float(p.landTexture);

    v.sample.mapLevel = v.mapLevel;
    v.sample.mapLevelFrac = v.mapLevelFrac;
    v.sample.cloudLevel = v.cloudLevel;
    v.sample.cloudLevelFrac = v.cloudLevelFrac;
    v.sample.coriolisScale = v.coriolisScale;
    v.sample.one = v.one;
    v.sample.useCloudMap = v.useCloudMap;
}

bool prepareBuffers(RenderView& v, TileBuffers& buffers, bool wholeTile) {
    if (v.gridWidth <= 0 || v.gridHeight <= 0) return false;
    const size_t width = size_t(v.gridWidth), height = size_t(v.gridHeight);
    try {
        buffers.sampled.resize(width * (v.wholeGrid ? height : 2));
        if (v.wholeGrid) {
            buffers.bandMin.resize(width * height);
            buffers.contourInk.resize(width * height);
        }
        buffers.shaded.resize((width - 2) * (wholeTile ? height - 2 : 1));
    } catch (const std::bad_alloc&) {
        return false;
    }
    v.buffers = &buffers;
    v.wholeTile = wholeTile;
    return true;
}

const SampledCell* sampledCellAt(const RenderView& v, int32_t x, int32_t y) {
    const int32_t gx = x - v.tile.left + 1, gy = y - v.tile.top + 1;
    if (!v.buffers || !v.wholeGrid || gx < 0 || gy < 0 || gx >= v.gridWidth || gy >= v.gridHeight) return nullptr;
    return v.buffers->sampled.data() + size_t(gy) * size_t(v.gridWidth) + size_t(gx);
}

namespace {

struct Point2 {
    float x, y;
};

float polygonArea(const Point2* pts, int n) {
    float a = 0.0f;
    for (int i = 0; i < n; ++i) {
        const Point2& p = pts[i];
        const Point2& q = pts[(i + 1) % n];
        a += p.x * q.y - q.x * p.y;
    }
    return std::fabs(a) * 0.5f;
}

// Where the iso-line t crosses from corner value a to corner value b.
float crossing(float a, float b, float t) { return -(a - t) / ((b - t) - (a - t)); }

}  // namespace

float squareCoverage(float c0, float c1, float c2, float c3, float t) {
    if (c0 == -2.0f) c0 = c3 + 0.00001f;
    if (c1 == -2.0f) c1 = c3 + 0.00001f;
    if (c2 == -2.0f) c2 = c3 + 0.00001f;
    const int bits = (c0 > t ? 1 : 0) | (c1 > t ? 2 : 0) | (c2 > t ? 4 : 0) | (c3 > t ? 8 : 0);
    if (bits == 0) return 0.0f;
    if (bits == 15) return 1.0f;

    // Walk the square's outline c0 (0,0) -> c1 (1,0) -> c3 (1,1) -> c2 (0,1),
    // keeping the corners above t and the crossings between them.
    const float value[4] = {c0, c1, c3, c2};
    const Point2 corner[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    Point2 pts[8];
    bool isCorner[8];
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        const int j = (i + 1) & 3;
        const bool inI = value[i] > t, inJ = value[j] > t;
        if (inI) {
            isCorner[n] = true;
            pts[n++] = corner[i];
        }
        if (inI != inJ) {
            const float s = crossing(value[i], value[j], t);
            isCorner[n] = false;
            pts[n++] = {corner[i].x + s * (corner[j].x - corner[i].x), corner[i].y + s * (corner[j].y - corner[i].y)};
        }
    }
    // Saddles (two opposite corners above): one band through the middle when
    // the centre lies above t, else two separate corner triangles.
    if ((bits == 6 || bits == 9) && (c0 + c1 + c2 + c3) * 0.25f <= t) {
        float area = 0.0f;
        // Each triangle is a corner above t with the crossings either side of it.
        for (int i = 0; i < n; ++i) {
            if (!isCorner[i]) continue;
            const Point2 tri[3] = {pts[(i + n - 1) % n], pts[i], pts[(i + 1) % n]};
            area += polygonArea(tri, 3);
        }
        return std::min(area, 1.0f);
    }
    return std::min(polygonArea(pts, n), 1.0f);
}

}  // namespace tv
