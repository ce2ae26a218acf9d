#include "synth/pyramid.h"

#include <algorithm>
#include <cmath>

#include "base/det_math.h"
#include <cstring>
#include <iterator>
#include <new>
#include <type_traits>

#include "synth/jobs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tv {

namespace {

constexpr int32_t kTileShift = 9;  // 512 x 512 tiles
constexpr int32_t kTileMask = kPyramidTileSize - 1;
constexpr int32_t kPhases = 128;
// Integer results are divided by 2048 * 2048 (8-bit) or 32768 * 32768 (16-bit).
constexpr float kInv2048Squared = 2.384185791015625e-7f;
constexpr double kInv32768Squared = 1.0 / (32768.0 * 32768.0);

struct FormatInfo {
    int32_t channels;
    int32_t bytesPerChannel;
    float unitValue;  // the value that stands for 1.0
    float limit;      // the largest value a reduced pixel may take
};

bool formatInfo(int32_t format, FormatInfo& info) {
    switch (format) {
        case kFormatGrey8: info = {1, 1, 255.0f, 255.0f}; return true;
        case kFormatGrey16: info = {1, 2, 32768.0f, 32768.0f}; return true;
        case kFormatGrey16Raw: info = {1, 2, 1.0f, 65535.0f}; return true;
        case kFormatRGBA8: info = {4, 1, 255.0f, 255.0f}; return true;
        case kFormatRGBA16: info = {4, 2, 32768.0f, 32768.0f}; return true;
        case kFormatGreyFloat: info = {1, 4, 1.0f, 65535.0f}; return true;
        case kFormatRGB16Raw: info = {3, 2, 1.0f, 65535.0f}; return true;
        case kFormatRGBAFloat: info = {4, 4, 1.0f, 65535.0f}; return true;
        default: return false;
    }
}

// The largest value an integer channel of the format can hold.
float channelLimit(const ImagePyramid& p) {
    FormatInfo info{};
    formatInfo(p.format, info);
    return info.limit;
}

bool isFloatFormat(const ImagePyramid& p) { return p.bytesPerChannel == 4; }

int32_t nextLevelSize(int32_t n) {
    int32_t half = n / 2 + (n & 1);
    if (half >= 3 && (half & 1) != 0) ++half;
    return half;
}

void resetFields(ImagePyramid& p) {
    std::fill(std::begin(p.levelWidth), std::end(p.levelWidth), 0);
    std::fill(std::begin(p.levelHeight), std::end(p.levelHeight), 0);
    std::fill(std::begin(p.levelMaxX), std::end(p.levelMaxX), 0);
    std::fill(std::begin(p.levelMaxY), std::end(p.levelMaxY), 0);
    std::fill(std::begin(p.tilesAcross), std::end(p.tilesAcross), 0);
    std::fill(std::begin(p.firstTile), std::end(p.firstTile), 0);
    p.topLevel = 0;
    p.format = kFormatGrey8;
    p.channels = 0;
    p.bytesPerChannel = 0;
    p.bytesPerPixel = 0;
    p.tiles = nullptr;
    p.tileCount = 0;
    p.wrapMode = kWrapClamp;
    p.unitScale = 1.0f;
    p.maxValue = 1.0f;
    p.state = 0;
}

void moveFields(ImagePyramid& to, ImagePyramid& from) {
    std::copy(std::begin(from.levelWidth), std::end(from.levelWidth), to.levelWidth);
    std::copy(std::begin(from.levelHeight), std::end(from.levelHeight), to.levelHeight);
    std::copy(std::begin(from.levelMaxX), std::end(from.levelMaxX), to.levelMaxX);
    std::copy(std::begin(from.levelMaxY), std::end(from.levelMaxY), to.levelMaxY);
    std::copy(std::begin(from.tilesAcross), std::end(from.tilesAcross), to.tilesAcross);
    std::copy(std::begin(from.firstTile), std::end(from.firstTile), to.firstTile);
    to.topLevel = from.topLevel;
    to.format = from.format;
    to.channels = from.channels;
    to.bytesPerChannel = from.bytesPerChannel;
    to.bytesPerPixel = from.bytesPerPixel;
    to.tiles = from.tiles;
    to.tileCount = from.tileCount;
    to.wrapMode = from.wrapMode;
    to.unitScale = from.unitScale;
    to.maxValue = from.maxValue;
    to.state = from.state;
    resetFields(from);
}

inline float readChannel(const uint8_t* pixel, int32_t bytesPerChannel, int32_t channel) {
    switch (bytesPerChannel) {
        case 1: return pixel[channel];
        case 2: {
            uint16_t v;
            std::memcpy(&v, pixel + 2 * channel, 2);
            return v;
        }
        default: {
            float v;
            std::memcpy(&v, pixel + 4 * channel, 4);
            return v;
        }
    }
}

// Stores a value in the format's own scale: integers are rounded to the
// nearest step and limited to the channel's range, floats kept as they are.
inline void writeChannel(uint8_t* pixel, int32_t bytesPerChannel, int32_t channel, float value, float limit) {
    if (bytesPerChannel == 4) {
        std::memcpy(pixel + 4 * channel, &value, 4);
        return;
    }
    float v = value + 0.5f;
    if (!(v >= 0.0f)) v = 0.0f;  // also NaN
    if (v > limit) v = limit;
    const uint32_t stored = static_cast<uint32_t>(v);
    if (bytesPerChannel == 1) {
        pixel[channel] = static_cast<uint8_t>(stored);
    } else {
        const uint16_t s = static_cast<uint16_t>(stored);
        std::memcpy(pixel + 2 * channel, &s, 2);
    }
}

bool validLevel(const ImagePyramid& p, int32_t level) {
    return p.tiles != nullptr && level >= 0 && level <= p.topLevel;
}

// ---------------------------------------------------------------------------
// Reduction. The 6 x 6 weights of a destination pixel are the outer product of
// a = (1, 16, 64, 64, 16, 1) with itself, divided by 16, with the four corners
// (1/16 each) dropped: sum = (sum a_i a_j p_ij - corner pixels) / (16 * 1640).
// Rows are summed horizontally once and kept in a ring of six.

constexpr int32_t kTaps6[6] = {1, 16, 64, 64, 16, 1};
constexpr int32_t kReduceDivisor = 16 * 1640;
constexpr int32_t kReduceChunk = 256;  // destination columns per pass

// Channel `channel` of source columns colStart .. colStart + count - 1 of a
// row, clamped into the level.
template <typename Acc>
void gatherRow(const ImagePyramid& p, int32_t level, int32_t row, int32_t colStart, int32_t count, int32_t channel,
               Acc* out) {
    const int32_t maxX = p.levelMaxX[level];
    const int32_t bpc = p.bytesPerChannel;
    const int32_t bpp = p.bytesPerPixel;
    int32_t i = 0;
    if (colStart < 0) {
        const Acc first = static_cast<Acc>(readChannel(pixelAddress(p, level, 0, row), bpc, channel));
        while (i < count && colStart + i < 0) out[i++] = first;
    }
    while (i < count && colStart + i <= maxX) {
        const int32_t col = colStart + i;
        const int32_t tileEnd = std::min((col | kTileMask) + 1, maxX + 1);
        const int32_t n = std::min(count - i, tileEnd - col);
        const uint8_t* px = pixelAddress(p, level, col, row);
        if (bpc == 1) {
            for (int32_t k = 0; k < n; ++k, px += bpp) out[i++] = static_cast<Acc>(px[channel]);
        } else {
            for (int32_t k = 0; k < n; ++k, px += bpp) out[i++] = static_cast<Acc>(readChannel(px, bpc, channel));
        }
    }
    if (i < count) {
        const Acc last = static_cast<Acc>(readChannel(pixelAddress(p, level, maxX, row), bpc, channel));
        while (i < count) out[i++] = last;
    }
}

template <typename Acc>
void reduceChunk(ImagePyramid& p, int32_t level, int32_t x0, int32_t x1, int32_t y0, int32_t y1, int32_t channel) {
    const int32_t w = x1 - x0;
    const int32_t maxY = p.levelMaxY[level];
    const int32_t bpc = p.bytesPerChannel;
    const float limit = channelLimit(p);
    Acc line[2 * kReduceChunk + 4];
    Acc sums[6][kReduceChunk];     // horizontal sums of a row
    Acc corners[6][kReduceChunk];  // its outermost two pixels
    int32_t ringRow[6] = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};

    auto loadRow = [&](int32_t sourceRow) {
        const int32_t slot = ((sourceRow % 6) + 6) % 6;
        if (ringRow[slot] == sourceRow) return;
        ringRow[slot] = sourceRow;
        gatherRow<Acc>(p, level, std::clamp(sourceRow, 0, maxY), 2 * x0 - 2, 2 * w + 4, channel, line);
        for (int32_t x = 0; x < w; ++x) {
            const Acc* s = line + 2 * x;
            sums[slot][x] = s[0] + 16 * s[1] + 64 * s[2] + 64 * s[3] + 16 * s[4] + s[5];
            corners[slot][x] = s[0] + s[5];
        }
    };

    for (int32_t y = y0; y < y1; ++y) {
        const int32_t top = 2 * y - 2;
        for (int32_t i = 0; i < 6; ++i) loadRow(top + i);
        int32_t slots[6];
        for (int32_t i = 0; i < 6; ++i) slots[i] = (((top + i) % 6) + 6) % 6;
        for (int32_t x = 0; x < w; ++x) {
            Acc total = -corners[slots[0]][x] - corners[slots[5]][x];
            for (int32_t i = 0; i < 6; ++i) total += kTaps6[i] * sums[slots[i]][x];
            float value;
            if constexpr (std::is_integral_v<Acc>) {
                value = static_cast<float>(std::min(total / kReduceDivisor, static_cast<Acc>(limit)));
            } else {
                value = static_cast<float>(total / kReduceDivisor);
                if (!(value >= 0.0f)) value = 0.0f;
                if (value > limit) value = limit;
            }
            writeChannel(pixelAddress(p, level + 1, x0 + x, y), bpc, channel, value, limit);
        }
    }
}

// ---------------------------------------------------------------------------
// Sampling.

struct Taps {
    int32_t col[5];  // columns ix - 2 .. ix + 2, already wrapped or clamped
    int32_t row[5];
    int32_t jx, jy;  // phases
};

inline int32_t wrapIndex(int32_t i, int32_t size) {
    if (static_cast<uint32_t>(i) < static_cast<uint32_t>(size)) return i;  // in range: no division
    const int32_t m = i % size;
    return m < 0 ? m + size : m;
}

// Splits a position (pixel centres at whole numbers) into the tap base and a phase.
inline void splitPosition(float position, int32_t& base, int32_t& phase) {
    constexpr float kLimit = 16777216.0f;
    float s = position + 0.5f;
    if (!(s > -kLimit)) s = -kLimit;  // also NaN
    if (s > kLimit) s = kLimit;
    // floor(s), exactly: |s| <= 2^24, so the truncation and its float are exact.
    float f = static_cast<float>(static_cast<int32_t>(s));
    if (f > s) f -= 1.0f;
    base = static_cast<int32_t>(f);
    phase = std::min(static_cast<int32_t>(static_cast<float>(kPhases) * (s - f)), kPhases - 1);
}

// The taps' columns and rows around the bases ix, iy (the phases are set apart).
void placeTaps(const ImagePyramid& p, int32_t level, int32_t ix, int32_t iy, Taps& t) {
    const int32_t maxX = p.levelMaxX[level];
    const int32_t maxY = p.levelMaxY[level];
    const bool inside = ix - 2 >= 0 && iy - 2 >= 0 && ix + 2 <= maxX && iy + 2 <= maxY;
    if (inside) {
        for (int32_t k = 0; k < 5; ++k) {
            t.col[k] = ix - 2 + k;
            t.row[k] = iy - 2 + k;
        }
        return;
    }
    const bool wrapX = p.wrapMode == kWrapBoth || p.wrapMode == kWrapX;
    const bool wrapY = p.wrapMode == kWrapBoth;
    for (int32_t k = 0; k < 5; ++k) {
        int32_t c = ix - 2 + k;
        int32_t r = iy - 2 + k;
        if (wrapX) c = wrapIndex(c, maxX + 1);
        if (wrapY) r = wrapIndex(r, maxY + 1);
        t.col[k] = std::clamp(c, 0, maxX);
        t.row[k] = std::clamp(r, 0, maxY);
    }
}

void computeTaps(const ImagePyramid& p, int32_t level, float x, float y, Taps& t) {
    int32_t ix, iy;
    splitPosition(x, ix, t.jx);
    splitPosition(y, iy, t.jy);
    placeTaps(p, level, ix, iy, t);
}

// Every channel of the format, in the format's own scale.
void sampleTaps(const ImagePyramid& p, int32_t level, const Taps& t, float out[4]) {
    const FilterTable& table = filterTable();
    const uint8_t* px[5][5];
    for (int32_t r = 0; r < 5; ++r)
        for (int32_t c = 0; c < 5; ++c) px[r][c] = pixelAddress(p, level, t.col[c], t.row[r]);
    const int32_t bpc = p.bytesPerChannel;
    for (int32_t ch = 0; ch < p.channels; ++ch) {
        if (bpc == 1) {
            const int32_t* wx = table.weights2048[t.jx];
            const int32_t* wy = table.weights2048[t.jy];
            int64_t sum = 0;
            for (int32_t r = 0; r < 5; ++r) {
                int32_t rowSum = 0;
                for (int32_t c = 0; c < 5; ++c) rowSum += wx[4 - c] * px[r][c][ch];
                sum += static_cast<int64_t>(wy[4 - r]) * rowSum;
            }
            out[ch] = static_cast<float>(sum) * kInv2048Squared;
        } else if (bpc == 2) {
            const int32_t* wx = table.weights32768[t.jx];
            const int32_t* wy = table.weights32768[t.jy];
            int64_t sum = 0;
            for (int32_t r = 0; r < 5; ++r) {
                int64_t rowSum = 0;
                for (int32_t c = 0; c < 5; ++c)
                    rowSum += int64_t{wx[4 - c]} * static_cast<int64_t>(readChannel(px[r][c], 2, ch));
                sum += int64_t{wy[4 - r]} * rowSum;
            }
            out[ch] = static_cast<float>(static_cast<double>(sum) * kInv32768Squared);
        } else {
            const float* wx = table.weights[t.jx];
            const float* wy = table.weights[t.jy];
            float sum = 0.0f;
            for (int32_t r = 0; r < 5; ++r) {
                float rowSum = 0.0f;
                for (int32_t c = 0; c < 5; ++c) rowSum += wx[4 - c] * readChannel(px[r][c], 4, ch);
                sum += wy[4 - r] * rowSum;
            }
            out[ch] = sum;
        }
    }
}

#if defined(__SSE2__)
// The 8-bit filter weights of each phase as 16-bit lanes in the order the
// taps lie in memory: (w4, w3, w2, w1, w0, 0, 0, 0).
struct Grey8Weights {
    alignas(16) int16_t w[kPhases][8];
};

const Grey8Weights& grey8Weights() {
    static const Grey8Weights weights = [] {
        Grey8Weights g{};
        const FilterTable& table = filterTable();
        for (int32_t j = 0; j < kPhases; ++j)
            for (int32_t t = 0; t < 5; ++t) g.w[j][t] = static_cast<int16_t>(table.weights2048[j][4 - t]);
        return g;
    }();
    return weights;
}

// The five tap rows' horizontal sums, wx[4] * row[0] + ... + wx[0] * row[4],
// for rows first, first + stride, ...: 16-bit products added in 32 bits, the
// same integers as the scalar sums (every weight and sum is far inside the
// range). Each row's three bytes past its taps are read and weighed 0.
inline void grey8RowSums(const uint8_t* first, size_t stride, const int16_t* weights, int32_t out[5]) {
    const __m128i w = _mm_load_si128(reinterpret_cast<const __m128i*>(weights));
    const __m128i zero = _mm_setzero_si128();
    __m128i m[5];
    for (int32_t k = 0; k < 5; ++k) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first + static_cast<size_t>(k) * stride));
        m[k] = _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), w);
    }
    // Rows 0..3: add each row's four lanes, four rows at once.
    const __m128i s01 = _mm_add_epi32(_mm_unpacklo_epi32(m[0], m[1]), _mm_unpackhi_epi32(m[0], m[1]));
    const __m128i s23 = _mm_add_epi32(_mm_unpacklo_epi32(m[2], m[3]), _mm_unpackhi_epi32(m[2], m[3]));
    const __m128i rows = _mm_add_epi32(_mm_unpacklo_epi64(s01, s23), _mm_unpackhi_epi64(s01, s23));
    alignas(16) int32_t r[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(r), rows);
    __m128i last = _mm_add_epi32(m[4], _mm_shuffle_epi32(m[4], _MM_SHUFFLE(1, 0, 3, 2)));
    last = _mm_add_epi32(last, _mm_shuffle_epi32(last, _MM_SHUFFLE(2, 3, 0, 1)));
    out[0] = r[0];
    out[1] = r[1];
    out[2] = r[2];
    out[3] = r[3];
    out[4] = _mm_cvtsi128_si32(last);
}
#endif

// One level of an 8-bit grey pyramid at (x, y), the level in range, 0..255:
// taps that fall in one tile are read straight from its rows, the rest
// through sampleTaps (the same integer sums either way).
inline float sampleGrey8Level(const ImagePyramid& p, int32_t level, float x, float y, const FilterTable& table) {
    int32_t ix, iy, jx, jy;
    splitPosition(x, ix, jx);
    splitPosition(y, iy, jy);
    const int32_t c0 = ix - 2, r0 = iy - 2;
    if (c0 >= 0 && r0 >= 0 && ix + 2 <= p.levelMaxX[level] && iy + 2 <= p.levelMaxY[level] &&
        (c0 >> kTileShift) == ((ix + 2) >> kTileShift) && (r0 >> kTileShift) == ((iy + 2) >> kTileShift)) {
        const PyramidTile& tile =
            p.tiles[p.firstTile[level] + (r0 >> kTileShift) * p.tilesAcross[level] + (c0 >> kTileShift)];
        const size_t stride = static_cast<size_t>(tile.width);
        const uint8_t* row = tile.pixels + static_cast<size_t>(r0 & kTileMask) * stride + (c0 & kTileMask);
        const int32_t* wx = table.weights2048[jx];
        const int32_t* wy = table.weights2048[jy];
        int32_t rowSum[5];
#if defined(__SSE2__)
        // Eight bytes a row: inside the tile unless the taps end its last row.
        if ((c0 & kTileMask) + 8 <= tile.width || ((r0 + 4) & kTileMask) + 1 < tile.height) {
            grey8RowSums(row, stride, grey8Weights().w[jx], rowSum);
        } else
#endif
        {
            for (int32_t k = 0; k < 5; ++k)
                rowSum[k] = wx[4] * row[k * stride] + wx[3] * row[k * stride + 1] + wx[2] * row[k * stride + 2] +
                            wx[1] * row[k * stride + 3] + wx[0] * row[k * stride + 4];
        }
        int64_t sum = 0;
        for (int32_t k = 0; k < 5; ++k) sum += static_cast<int64_t>(wy[4 - k]) * rowSum[k];
        return std::clamp(static_cast<float>(sum) * kInv2048Squared, 0.0f, 255.0f);
    }
    // Clamped or wrapped taps: still straight from the rows when they all
    // fall in one tile (the same integer sum as sampleTaps).
    Taps t;
    t.jx = jx;
    t.jy = jy;
    placeTaps(p, level, ix, iy, t);
    const int32_t tileCol = t.col[0] >> kTileShift, tileRow = t.row[0] >> kTileShift;
    bool oneTile = true;
    for (int32_t k = 1; k < 5; ++k)
        oneTile = oneTile && (t.col[k] >> kTileShift) == tileCol && (t.row[k] >> kTileShift) == tileRow;
    if (!oneTile) {
        float out[4];
        sampleTaps(p, level, t, out);
        return std::clamp(out[0], 0.0f, 255.0f);
    }
    const PyramidTile& tile = p.tiles[p.firstTile[level] + tileRow * p.tilesAcross[level] + tileCol];
    const size_t stride = static_cast<size_t>(tile.width);
    const int32_t c[5] = {t.col[0] & kTileMask, t.col[1] & kTileMask, t.col[2] & kTileMask, t.col[3] & kTileMask,
                          t.col[4] & kTileMask};
    const int32_t* wx = table.weights2048[t.jx];
    const int32_t* wy = table.weights2048[t.jy];
    int64_t sum = 0;
    for (int32_t k = 0; k < 5; ++k) {
        const uint8_t* row = tile.pixels + static_cast<size_t>(t.row[k] & kTileMask) * stride;
        const int32_t rowSum = wx[4] * row[c[0]] + wx[3] * row[c[1]] + wx[2] * row[c[2]] + wx[1] * row[c[3]] +
                               wx[0] * row[c[4]];
        sum += static_cast<int64_t>(wy[4 - k]) * rowSum;
    }
    return std::clamp(static_cast<float>(sum) * kInv2048Squared, 0.0f, 255.0f);
}

// Channels of one level at (x, y); integer formats limited to their range.
void sampleLevelChannels(const ImagePyramid& p, int32_t level, float x, float y, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (p.tiles == nullptr) return;
    level = std::clamp(level, 0, p.topLevel);
    if (p.format == kFormatGrey8) {
        out[0] = sampleGrey8Level(p, level, x, y, filterTable());
        return;
    }
    Taps t;
    computeTaps(p, level, x, y, t);
    sampleTaps(p, level, t, out);
    // The filter's small negative lobes may ring past the range at sharp edges.
    if (!isFloatFormat(p)) {
        const float limit = channelLimit(p);
        for (int32_t ch = 0; ch < p.channels; ++ch) out[ch] = std::clamp(out[ch], 0.0f, limit);
    }
}

// Channel 0 of one level at (x, y), the level in range; 8-bit grey takes its own short way.
inline float sampleLevelFirst(const ImagePyramid& p, int32_t level, float x, float y, const FilterTable& table) {
    if (p.format == kFormatGrey8) return sampleGrey8Level(p, level, x, y, table);
    float out[4];
    sampleLevelChannels(p, level, x, y, out);
    return out[0];
}

// Channels blended between level and level + 1.
void samplePyramidChannels(const ImagePyramid& p, int32_t level, float frac, float u, float v, float out[4]) {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (p.tiles == nullptr) return;
    level = std::clamp(level, 0, std::max(p.topLevel - 1, 0));
    sampleLevelChannels(p, level, u * static_cast<float>(p.levelWidth[level]) - 0.5f,
                        v * static_cast<float>(p.levelHeight[level]) - 0.5f, out);
    if (frac == 0.0f || level + 1 > p.topLevel) return;
    float next[4];
    sampleLevelChannels(p, level + 1, u * static_cast<float>(p.levelWidth[level + 1]) - 0.5f,
                        v * static_cast<float>(p.levelHeight[level + 1]) - 0.5f, next);
    for (int32_t ch = 0; ch < p.channels; ++ch) out[ch] = out[ch] + frac * (next[ch] - out[ch]);
}

// Raw channels to 0..1 RGBA.
void channelsToRGBA(const ImagePyramid& p, const float in[4], float out[4]) {
    const float s = p.unitScale;
    if (p.channels == 1) {
        out[0] = out[1] = out[2] = in[0] * s;
        out[3] = 1.0f;
    } else {
        out[0] = in[0] * s;
        out[1] = in[1] * s;
        out[2] = in[2] * s;
        out[3] = p.channels == 4 ? in[3] * s : 1.0f;
    }
}

}  // namespace

// ---------------------------------------------------------------------------

ImagePyramid::ImagePyramid(ImagePyramid&& other) noexcept { moveFields(*this, other); }

ImagePyramid& ImagePyramid::operator=(ImagePyramid&& other) noexcept {
    if (this != &other) {
        freePyramid(*this);
        moveFields(*this, other);
    }
    return *this;
}

ImagePyramid::~ImagePyramid() { freePyramid(*this); }

void freePyramid(ImagePyramid& p) {
    if (p.tiles != nullptr) {
        for (int32_t i = 0; i < p.tileCount; ++i) delete[] p.tiles[i].pixels;
        delete[] p.tiles;
    }
    resetFields(p);
}

bool createPyramid(ImagePyramid& p, int32_t width, int32_t height, int32_t format, int32_t wrapMode) {
    freePyramid(p);
    FormatInfo info{};
    if (width <= 0 || height <= 0 || !formatInfo(format, info)) return false;
    if (wrapMode < kWrapNone || wrapMode > kWrapX) return false;

    ImagePyramid q;
    q.format = format;
    q.channels = info.channels;
    q.bytesPerChannel = info.bytesPerChannel;
    q.bytesPerPixel = info.channels * info.bytesPerChannel;
    q.wrapMode = wrapMode;
    q.maxValue = info.unitValue;
    q.unitScale = 1.0f / info.unitValue;

    int64_t tiles = 0;
    int32_t w = width, h = height, level = 0;
    for (;;) {
        q.levelWidth[level] = w;
        q.levelHeight[level] = h;
        q.levelMaxX[level] = w - 1;
        q.levelMaxY[level] = h - 1;
        q.tilesAcross[level] = (w - 1) / kPyramidTileSize + 1;
        q.firstTile[level] = static_cast<int32_t>(std::min<int64_t>(tiles, INT32_MAX));
        tiles += int64_t{q.tilesAcross[level]} * ((h - 1) / kPyramidTileSize + 1);
        if (wrapMode == kWrapNone || (w == 1 && h == 1) || level == kMaxPyramidLevels - 1) break;
        w = nextLevelSize(w);
        h = nextLevelSize(h);
        ++level;
    }
    q.topLevel = level;
    if (tiles > INT32_MAX / 2) return false;

    q.tiles = new (std::nothrow) PyramidTile[static_cast<size_t>(tiles)];
    if (q.tiles == nullptr) return false;
    // Every tile is counted as it is allocated, so a failure frees just those.
    for (int32_t l = 0; l <= q.topLevel; ++l) {
        for (int32_t top = 0; top < q.levelHeight[l]; top += kPyramidTileSize) {
            for (int32_t left = 0; left < q.levelWidth[l]; left += kPyramidTileSize) {
                PyramidTile& t = q.tiles[q.tileCount];
                t.top = top;
                t.left = left;
                t.width = std::min(kPyramidTileSize, q.levelWidth[l] - left);
                t.height = std::min(kPyramidTileSize, q.levelHeight[l] - top);
                const size_t bytes = static_cast<size_t>(t.width) * t.height * q.bytesPerPixel;
                t.pixels = new (std::nothrow) uint8_t[bytes]();
                if (t.pixels == nullptr) return false;  // q's destructor frees the rest
                ++q.tileCount;
            }
        }
    }
    p = std::move(q);
    return true;
}

uint8_t* pixelAddress(const ImagePyramid& p, int32_t level, int32_t x, int32_t y) {
    const PyramidTile& t =
        p.tiles[p.firstTile[level] + (y >> kTileShift) * p.tilesAcross[level] + (x >> kTileShift)];
    return t.pixels + (static_cast<size_t>(y & kTileMask) * t.width + (x & kTileMask)) * p.bytesPerPixel;
}

float getPixel(const ImagePyramid& p, int32_t level, int32_t x, int32_t y, int32_t channel) {
    if (!validLevel(p, level) || channel < 0 || channel >= p.channels) return 0.0f;
    x = std::clamp(x, 0, p.levelMaxX[level]);
    y = std::clamp(y, 0, p.levelMaxY[level]);
    return readChannel(pixelAddress(p, level, x, y), p.bytesPerChannel, channel);
}

void setPixel(ImagePyramid& p, int32_t level, int32_t x, int32_t y, int32_t channel, float value) {
    if (!validLevel(p, level) || channel < 0 || channel >= p.channels) return;
    if (x < 0 || y < 0 || x > p.levelMaxX[level] || y > p.levelMaxY[level]) return;
    writeChannel(pixelAddress(p, level, x, y), p.bytesPerChannel, channel, value, channelLimit(p));
}

void getPixelRGBA(const ImagePyramid& p, int32_t level, int32_t x, int32_t y, float out[4]) {
    float raw[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (!validLevel(p, level)) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    for (int32_t ch = 0; ch < p.channels; ++ch) raw[ch] = getPixel(p, level, x, y, ch);
    channelsToRGBA(p, raw, out);
}

void setPixelRGBA(ImagePyramid& p, int32_t level, int32_t x, int32_t y, const float rgba[4]) {
    const float m = p.maxValue;
    if (p.channels == 1) {
        // Grey stays grey exactly; colour is reduced to its luminance.
        const float grey = (rgba[0] == rgba[1] && rgba[1] == rgba[2])
                               ? rgba[0]
                               : 0.299f * rgba[0] + 0.587f * rgba[1] + 0.114f * rgba[2];
        setPixel(p, level, x, y, 0, grey * m);
        return;
    }
    for (int32_t ch = 0; ch < p.channels; ++ch) setPixel(p, level, x, y, ch, rgba[ch] * m);
}

void reduceLevel(ImagePyramid& p, int32_t level, const Rect& rect) {
    if (p.tiles == nullptr || level < 0 || level >= p.topLevel) return;
    const int32_t x0 = std::max(rect.left, 0);
    const int32_t y0 = std::max(rect.top, 0);
    const int32_t x1 = std::min(rect.right, p.levelWidth[level + 1]);
    const int32_t y1 = std::min(rect.bottom, p.levelHeight[level + 1]);
    if (x1 <= x0 || y1 <= y0) return;
    for (int32_t ch = 0; ch < p.channels; ++ch) {
        for (int32_t cx = x0; cx < x1; cx += kReduceChunk) {
            const int32_t cx1 = std::min(cx + kReduceChunk, x1);
            if (isFloatFormat(p)) {
                reduceChunk<double>(p, level, cx, cx1, y0, y1, ch);
            } else {
                reduceChunk<int32_t>(p, level, cx, cx1, y0, y1, ch);
            }
        }
    }
}

void buildChain(ImagePyramid& p) {
    if (p.tiles == nullptr) return;
    if (p.wrapMode != kWrapNone) {
        JobHandlers handlers;
        handlers.work = [](void*, RenderJob& job) {
            ImagePyramid& pyramid = *reinterpret_cast<ImagePyramid*>(job.args[0]);
            const Rect& area = job.plan.area;
            const Rect& t = job.plan.tile;
            reduceLevel(pyramid, static_cast<int32_t>(job.args[1]),
                        Rect{area.top + t.top, area.left + t.left, area.top + t.bottom, area.left + t.right});
        };
        const int32_t type = isFloatFormat(p) ? kJobPyramidLevelFloat : kJobPyramidLevel;
        for (int32_t level = 0; level < p.topLevel; ++level) {
            const intptr_t args[kJobArgCount] = {reinterpret_cast<intptr_t>(&p), level};
            const Rect area{0, 0, p.levelHeight[level + 1], p.levelWidth[level + 1]};
            runJobs(type, args, area, 0, handlers);
        }
    }
    p.state = 2;
}

void buildFilterTable(FilterTable& table) {
    constexpr double kPi = 3.14159265358979323846;
    auto sinc = [](double s) { return s == 0.0 ? 1.0 : tv::dmath::sin(kPi * s) / (kPi * s); };
    auto kernel = [&sinc](double s) { return std::fabs(s) < 2.0 ? sinc(s) * sinc(s / 2.0) : 0.0; };
    for (int32_t j = 0; j < kPhases; ++j) {
        const double x0 = static_cast<double>(j) / kPhases - 2.0;
        double w[5];
        double total = 0.0;
        for (int32_t t = 0; t < 5; ++t) {
            w[t] = 0.0;
            for (int32_t n = 0; n < 20; ++n) w[t] += kernel(x0 - n / 21.0 + t);
            total += w[t];
        }
        for (int32_t t = 0; t < 5; ++t) w[t] /= total;
        float floatSum = 0.0f;
        int32_t sum2048 = 0, sum32768 = 0;
        for (int32_t t = 0; t < 4; ++t) {
            table.weights[j][t] = static_cast<float>(w[t]);
            floatSum += table.weights[j][t];
            table.weights2048[j][t] = static_cast<int32_t>(w[t] * 2048.0);
            table.weights32768[j][t] = static_cast<int32_t>(w[t] * 32768.0);
            sum2048 += table.weights2048[j][t];
            sum32768 += table.weights32768[j][t];
        }
        table.weights[j][4] = 1.0f - floatSum;
        table.weights2048[j][4] = 2048 - sum2048;
        table.weights32768[j][4] = 32768 - sum32768;
    }
}

const FilterTable& filterTable() {
    static const FilterTable table = [] {
        FilterTable t;
        buildFilterTable(t);
        return t;
    }();
    return table;
}

float sampleLevel(const ImagePyramid& p, int32_t level, float x, float y) {
    if (p.tiles == nullptr) return 0.0f;
    return sampleLevelFirst(p, std::clamp(level, 0, p.topLevel), x, y, filterTable());
}

float samplePyramid(const ImagePyramid& p, int32_t level, float frac, float u, float v) {
    if (p.tiles == nullptr) return 0.0f;
    level = std::clamp(level, 0, std::max(p.topLevel - 1, 0));
    const FilterTable& table = filterTable();
    const float s0 = sampleLevelFirst(p, level, u * static_cast<float>(p.levelWidth[level]) - 0.5f,
                                      v * static_cast<float>(p.levelHeight[level]) - 0.5f, table);
    if (frac == 0.0f || level + 1 > p.topLevel) return s0;
    const float s1 = sampleLevelFirst(p, level + 1, u * static_cast<float>(p.levelWidth[level + 1]) - 0.5f,
                                      v * static_cast<float>(p.levelHeight[level + 1]) - 0.5f, table);
    return s0 + frac * (s1 - s0);
}

void samplePyramidRGBA(const ImagePyramid& p, int32_t level, float frac, float u, float v, float out[4]) {
    float raw[4];
    samplePyramidChannels(p, level, frac, u, v, raw);
    if (p.tiles == nullptr) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    channelsToRGBA(p, raw, out);
}

void resampleImage(const ImagePyramid& source, ImagePyramid& destination) {
    if (destination.tiles == nullptr) return;
    const int32_t dw = destination.levelWidth[0];
    const int32_t dh = destination.levelHeight[0];
    if (source.tiles != nullptr && source.levelWidth[0] == dw && source.levelHeight[0] == dh) {
        if (source.format == destination.format) {
            const int32_t levelTiles = destination.tilesAcross[0] * ((dh - 1) / kPyramidTileSize + 1);
            for (int32_t i = 0; i < levelTiles; ++i) {
                const PyramidTile& t = source.tiles[i];
                std::memcpy(destination.tiles[i].pixels, t.pixels,
                            static_cast<size_t>(t.width) * t.height * source.bytesPerPixel);
            }
        } else {
            float rgba[4];
            for (int32_t y = 0; y < dh; ++y)
                for (int32_t x = 0; x < dw; ++x) {
                    getPixelRGBA(source, 0, x, y, rgba);
                    setPixelRGBA(destination, 0, x, y, rgba);
                }
        }
        buildChain(destination);
        return;
    }

    // The source level whose texels are about the size of a destination pixel.
    int32_t level = 0;
    float frac = 0.0f;
    if (source.tiles != nullptr) {
        double l = tv::dmath::log2(static_cast<double>(source.levelWidth[0]) / dw) - 0.5;
        l = std::clamp(l, 0.0, static_cast<double>(source.topLevel));
        level = static_cast<int32_t>(std::floor(l));
        frac = static_cast<float>(l - level);
        if (level >= source.topLevel && source.topLevel > 0) {
            level = source.topLevel - 1;
            frac = 1.0f;
        }
    }
    const float upper = isFloatFormat(destination) ? 65535.0f : channelLimit(destination) / destination.maxValue;
    float rgba[4];
    for (int32_t y = 0; y < dh; ++y) {
        const float v = static_cast<float>(2 * y + 1) / static_cast<float>(2 * dh);
        for (int32_t x = 0; x < dw; ++x) {
            const float u = static_cast<float>(2 * x + 1) / static_cast<float>(2 * dw);
            samplePyramidRGBA(source, level, frac, u, v, rgba);
            for (float& c : rgba) c = std::clamp(c, 0.0f, upper);
            setPixelRGBA(destination, 0, x, y, rgba);
        }
    }
    buildChain(destination);
}

}  // namespace tv
