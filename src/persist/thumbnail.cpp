#include "persist/thumbnail.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace tv::persist {

namespace {

// The source pixels an output pixel covers along one axis, with their shares.
struct Tap {
    int32_t index;
    double weight;
};

std::vector<std::vector<Tap>> axisTaps(int32_t srcSize, int32_t dstSize) {
    std::vector<std::vector<Tap>> taps(static_cast<size_t>(dstSize));
    const double step = double(srcSize) / double(dstSize);
    for (int32_t o = 0; o < dstSize; ++o) {
        const double begin = o * step;
        const double end = (o + 1) * step;
        auto& list = taps[size_t(o)];
        double total = 0.0;
        for (int32_t s = int32_t(std::floor(begin)); s < end && s < srcSize; ++s) {
            const double w = std::min(end, double(s + 1)) - std::max(begin, double(s));
            if (w <= 0.0) continue;
            list.push_back({s, w});
            total += w;
        }
        for (auto& t : list) t.weight /= total;
    }
    return taps;
}

}  // namespace

RgbImage scaleImage(const RgbImage& src, int32_t width, int32_t height) {
    RgbImage out(width, height);
    if (width <= 0 || height <= 0 || src.width <= 0 || src.height <= 0 ||
        src.pixels.size() < size_t(src.width) * size_t(src.height) * 3)
        return out;
    const auto xs = axisTaps(src.width, width);
    const auto ys = axisTaps(src.height, height);
    // Horizontal pass into a float row buffer per source row, then vertical.
    std::vector<double> rows(size_t(src.height) * size_t(width) * 3);
    for (int32_t y = 0; y < src.height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            double acc[3] = {0, 0, 0};
            for (const Tap& t : xs[size_t(x)]) {
                const uint8_t* p = src.at(t.index, y);
                for (int c = 0; c < 3; ++c) acc[c] += p[c] * t.weight;
            }
            double* r = &rows[(size_t(y) * size_t(width) + size_t(x)) * 3];
            for (int c = 0; c < 3; ++c) r[c] = acc[c];
        }
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            double acc[3] = {0, 0, 0};
            for (const Tap& t : ys[size_t(y)]) {
                const double* r = &rows[(size_t(t.index) * size_t(width) + size_t(x)) * 3];
                for (int c = 0; c < 3; ++c) acc[c] += r[c] * t.weight;
            }
            uint8_t* p = out.at(x, y);
            for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::clamp(std::lround(acc[c]), 0L, 255L));
        }
    return out;
}

RgbImage centredSquare(const RgbImage& image, Rect area) {
    area.left = std::max(area.left, 0);
    area.top = std::max(area.top, 0);
    area.right = std::min(area.right, image.width);
    area.bottom = std::min(area.bottom, image.height);
    if (area.empty()) return RgbImage();
    const int32_t side = std::min(area.width(), area.height());
    const int32_t left = area.left + (area.width() - side) / 2;
    const int32_t top = area.top + (area.height() - side) / 2;
    RgbImage out(side, side);
    for (int32_t y = 0; y < side; ++y)
        std::copy_n(image.at(left, top + y), size_t(side) * 3, out.at(0, y));
    return out;
}

RgbImage& ensureThumbnail(StateBlock& state) {
    if (!state.thumbnail) state.thumbnail = new RgbImage(kThumbnailSide, kThumbnailSide);
    return *state.thumbnail;
}

void replaceThumbnail(StateBlock& state, RgbImage&& image) {
    if (state.thumbnail)
        *state.thumbnail = std::move(image);
    else
        state.thumbnail = new RgbImage(std::move(image));
}

void freeThumbnail(StateBlock& state) {
    delete state.thumbnail;
    state.thumbnail = nullptr;
}

}  // namespace tv::persist
