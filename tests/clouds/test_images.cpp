#include "test_images.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "clouds/jpeg_memory.h"

namespace tv::test {

namespace {

class BitPacker {
public:
    explicit BitPacker(std::vector<uint8_t>& out) : out_(out) {}
    void put(int code, int bits) {
        buffer_ |= uint32_t(code) << count_;
        count_ += bits;
        while (count_ >= 8) {
            byte(uint8_t(buffer_));
            buffer_ >>= 8;
            count_ -= 8;
        }
    }
    void finish() {
        if (count_ > 0) byte(uint8_t(buffer_));
        if (!block_.empty()) flushBlock();
        out_.push_back(0);
    }

private:
    void byte(uint8_t b) {
        block_.push_back(b);
        if (block_.size() == 255) flushBlock();
    }
    void flushBlock() {
        out_.push_back(uint8_t(block_.size()));
        out_.insert(out_.end(), block_.begin(), block_.end());
        block_.clear();
    }
    std::vector<uint8_t>& out_;
    std::vector<uint8_t> block_;
    uint32_t buffer_ = 0;
    int count_ = 0;
};

// LZW in the manner of the common GIF encoders: a clear code first, the code
// size grows when the next free code no longer fits, a clear at 4095.
void encodeLzw(const std::vector<uint8_t>& indices, int minCodeSize, std::vector<uint8_t>& out) {
    out.push_back(uint8_t(minCodeSize));
    BitPacker bits(out);
    const int clearCode = 1 << minCodeSize, endCode = clearCode + 1;
    int codeBits = minCodeSize + 1, nextCode = clearCode + 2;
    std::unordered_map<uint32_t, int> table;
    auto emit = [&](int code) {
        bits.put(code, codeBits);
        if (nextCode >= (1 << codeBits) && code <= 4095 && codeBits < 12) ++codeBits;
    };
    emit(clearCode);
    int current = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const int c = indices[i];
        const uint32_t key = uint32_t(current) << 8 | uint32_t(c);
        auto it = table.find(key);
        if (it != table.end()) {
            current = it->second;
            continue;
        }
        emit(current);
        current = c;
        if (nextCode >= 4095) {
            emit(clearCode);
            nextCode = clearCode + 2;
            codeBits = minCodeSize + 1;
            table.clear();
        } else {
            table[key] = nextCode++;
        }
    }
    emit(current);
    emit(endCode);
    bits.finish();
}

void le16(std::vector<uint8_t>& out, int v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

}  // namespace

std::vector<uint8_t> encodeGif(const IndexedPicture& picture, const GifOptions& options) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    int tableBits = 0;
    while ((2 << tableBits) * 3 < int(picture.palette.size())) ++tableBits;
    std::vector<uint8_t> table = picture.palette;
    table.resize(size_t(2 << tableBits) * 3, 0);
    le16(out, picture.width);
    le16(out, picture.height);
    out.push_back(options.localTable ? 0x70 : uint8_t(0xF0 | tableBits));
    out.push_back(0);
    out.push_back(0);
    if (!options.localTable) out.insert(out.end(), table.begin(), table.end());
    if (options.comment) {
        const char text[] = "made by the cloud tests";
        out.insert(out.end(), {0x21, 0xFE, uint8_t(sizeof text - 1)});
        out.insert(out.end(), text, text + sizeof text - 1);
        out.push_back(0);
    }
    if (options.transparentIndex >= 0)
        out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, uint8_t(options.transparentIndex), 0});
    out.push_back(0x2C);
    le16(out, 0);
    le16(out, 0);
    le16(out, picture.width);
    le16(out, picture.height);
    uint8_t flags = options.interlaced ? 0x40 : 0;
    if (options.localTable) flags |= uint8_t(0x80 | tableBits);
    out.push_back(flags);
    if (options.localTable) out.insert(out.end(), table.begin(), table.end());
    std::vector<uint8_t> order;
    order.reserve(picture.pixels.size());
    if (options.interlaced) {
        const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < picture.height; y += step[pass])
                order.insert(order.end(), picture.pixels.begin() + size_t(y) * picture.width,
                             picture.pixels.begin() + size_t(y + 1) * picture.width);
    } else {
        order = picture.pixels;
    }
    encodeLzw(order, options.minCodeSize, out);
    out.push_back(0x3B);
    return out;
}

std::vector<uint8_t> greyPalette() {
    std::vector<uint8_t> p(256 * 3);
    for (int i = 0; i < 256; ++i) p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = uint8_t(i);
    // Index 3 draws the coastlines and grid: a bright yellow that would read as cloud.
    p[9] = 255;
    p[10] = 255;
    p[11] = 0;
    return p;
}

namespace {

// Cloud grey 40..250 inside the disc, 0 outside.
int discGrey(int x, int y, int left, int top, int diameter) {
    const double r = diameter / 2.0;
    const double dx = (x + 0.5 - left - r) / r, dy = (y + 0.5 - top - r) / r;
    if (dx * dx + dy * dy > 1.0) return 0;
    const double bands = 0.5 + 0.25 * std::sin(7.0 * dx + 3.0 * dy) + 0.25 * std::cos(11.0 * dy - 2.0 * dx * dx);
    return 40 + int(bands * 210.0);
}

}  // namespace

IndexedPicture earthDisc(int width, int height, int left, int top, int diameter, int gridStep) {
    IndexedPicture p;
    p.width = width;
    p.height = height;
    p.palette = greyPalette();
    p.pixels.assign(size_t(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int g = discGrey(x, y, left, top, diameter);
            if (g == 3) g = 4;
            if (g > 0 && gridStep > 0 && ((x - left) % gridStep == 0 || (y - top) % gridStep == 0)) g = 3;
            p.at(x, y) = uint8_t(g);
        }
    return p;
}

std::vector<uint8_t> earthDiscRgb(int width, int height, int left, int top, int diameter) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int g = discGrey(x, y, left, top, diameter);
            uint8_t* px = &rgb[(size_t(y) * width + x) * 3];
            px[0] = uint8_t(g);
            px[1] = uint8_t(g);
            px[2] = uint8_t(std::min(255, g + 5));
        }
    return rgb;
}

std::vector<uint8_t> encodeJpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality) {
    std::vector<uint8_t> out(size_t(width) * size_t(height) * 6 + 4096);
    size_t n = 0;  // stays 0 on failure: an empty stream
    jpeg::encodeRgb(rgb.data(), width, height, quality, out.data(), out.size(), &n);
    out.resize(n);
    return out;
}

}  // namespace tv::test
