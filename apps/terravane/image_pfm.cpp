#include "image_pfm.h"

#include <cctype>
#include <cstring>

namespace tv::cli {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// One header field: a token of at most 32 characters after white space.
bool token(const uint8_t* d, size_t n, size_t& pos, std::string& out) {
    while (pos < n && std::isspace(d[pos])) ++pos;
    out.clear();
    while (pos < n && !std::isspace(d[pos]) && out.size() < 32) out.push_back(char(d[pos++]));
    return !out.empty() && pos < n && std::isspace(d[pos]);
}

}  // namespace

bool decodePfm(const uint8_t* d, size_t n, Image& out, std::string* error) {
    if (n < 3 || d[0] != 'P' || (d[1] != 'f' && d[1] != 'F')) return fail(error, "not a PFM file");
    const int channels = d[1] == 'F' ? 3 : 1;
    size_t pos = 2;
    std::string w, h, scale;
    if (!token(d, n, pos, w) || !token(d, n, pos, h) || !token(d, n, pos, scale)) return fail(error, "damaged PFM header");
    ++pos;
    char* end = nullptr;
    const long long width = std::strtoll(w.c_str(), &end, 10);
    if (*end) return fail(error, "damaged PFM header");
    const long long height = std::strtoll(h.c_str(), &end, 10);
    if (*end) return fail(error, "damaged PFM header");
    const double s = std::strtod(scale.c_str(), &end);
    if (*end || s == 0.0 || s != s) return fail(error, "damaged PFM header");
    const bool little = s < 0;
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide || width * height > kMaxImagePixels)
        return fail(error, "the PFM image is too large or empty");
    const size_t samples = size_t(width) * size_t(height) * size_t(channels);
    if (n - pos < samples * 4) return fail(error, "the PFM file is truncated");
    Image im;
    if (!im.allocate(int32_t(width), int32_t(height), channels, 32)) return fail(error, "the PFM image is too large");
    const size_t rowSamples = size_t(width) * size_t(channels);
    for (long long y = 0; y < height; ++y) {
        const uint8_t* src = d + pos + size_t(height - 1 - y) * rowSamples * 4;
        uint8_t* dst = im.data.data() + size_t(y) * rowSamples * 4;
        for (size_t i = 0; i < rowSamples; ++i) {
            const uint8_t* p = src + 4 * i;
            const uint32_t bits = little ? (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24)
                                         : (uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24);
            std::memcpy(dst + 4 * i, &bits, 4);
        }
    }
    out = std::move(im);
    return true;
}

}  // namespace tv::cli
