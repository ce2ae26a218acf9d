#include "clouds/gif_decoder.h"

#include <cstring>

namespace tv {

namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool u8(uint8_t& v) {
        if (pos_ >= size_) return false;
        v = data_[pos_++];
        return true;
    }
    bool u16le(uint16_t& v) {
        if (size_ - pos_ < 2) return false;
        v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool span(size_t n, const uint8_t*& p) {
        if (n > size_ - pos_) return false;
        p = data_ + pos_;
        pos_ += n;
        return true;
    }
    // Skips data sub-blocks up to and including the zero-length terminator.
    bool skipSubBlocks() {
        for (;;) {
            uint8_t n;
            const uint8_t* p;
            if (!u8(n)) return false;
            if (n == 0) return true;
            if (!span(n, p)) return false;
        }
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool readColourTable(Input& in, int entries, GifPaletteEntry* palette) {
    const uint8_t* p;
    if (!in.span(size_t(entries) * 3, p)) return false;
    for (int i = 0; i < entries; ++i) {
        palette[i].red = p[3 * i];
        palette[i].green = p[3 * i + 1];
        palette[i].blue = p[3 * i + 2];
    }
    return true;
}

// Places decoded indices row by row, or in the four interlace passes.
class PixelSink {
public:
    explicit PixelSink(GifImage& image) : image_(image) {}
    bool full() const { return row_ >= image_.height; }
    void put(uint8_t index) {
        if (full()) return;
        image_.pixels[size_t(row_) * size_t(image_.width) + size_t(column_)] = index;
        image_.palette[index].unused = false;
        if (++column_ < image_.width) return;
        column_ = 0;
        if (!image_.interlaced) {
            ++row_;
            return;
        }
        static const int kStart[4] = {0, 4, 2, 1};
        static const int kStep[4] = {8, 8, 4, 2};
        row_ += kStep[pass_];
        while (row_ >= image_.height && pass_ < 3) row_ = kStart[++pass_];
        if (row_ >= image_.height) row_ = image_.height;  // every pass done
    }

private:
    GifImage& image_;
    int32_t row_ = 0, column_ = 0, pass_ = 0;
};

// Decodes the LZW sub-blocks of one image into the sink.
GifStatus decodeLzw(Input& in, PixelSink& sink) {
    uint8_t minSize;
    if (!in.u8(minSize)) return GifStatus::Truncated;
    if (minSize < 1 || minSize > 8) return GifStatus::BadCodeSize;

    const int clearCode = 1 << minSize;
    const int endCode = clearCode + 1;
    static thread_local uint16_t prefix[kTableSize];
    static thread_local uint8_t suffix[kTableSize];
    static thread_local uint8_t stack[kTableSize + 1];
    for (int i = 0; i < clearCode; ++i) {
        prefix[i] = 0;
        suffix[i] = uint8_t(i);
    }
    int codeBits = minSize + 1;
    int nextCode = clearCode + 2;
    int previous = -1;
    uint8_t firstOfPrevious = 0;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    bool ended = false;

    for (;;) {
        uint8_t blockSize;
        const uint8_t* block;
        if (!in.u8(blockSize)) return GifStatus::Truncated;
        if (blockSize == 0) return GifStatus::Ok;
        if (!in.span(blockSize, block)) return GifStatus::Truncated;
        if (ended) continue;  // data after the end code is read past
        for (int b = 0; b < blockSize && !ended; ++b) {
            bitBuffer |= uint32_t(block[b]) << bitCount;
            bitCount += 8;
            while (bitCount >= codeBits && !ended) {
                const int code = int(bitBuffer & ((1u << codeBits) - 1));
                bitBuffer >>= codeBits;
                bitCount -= codeBits;
                if (code == clearCode) {
                    codeBits = minSize + 1;
                    nextCode = clearCode + 2;
                    previous = -1;
                    continue;
                }
                if (code == endCode) {
                    ended = true;
                    break;
                }
                if (previous < 0) {  // the first code after a clear is a literal
                    if (code >= clearCode) return GifStatus::BadCode;
                    sink.put(uint8_t(code));
                    previous = code;
                    firstOfPrevious = uint8_t(code);
                    continue;
                }
                if (code > nextCode || (code == nextCode && nextCode >= kTableSize)) return GifStatus::BadCode;
                // Unwind the string of code (or of previous + its first character).
                int depth = 0;
                int c = code;
                if (code == nextCode) {
                    stack[depth++] = firstOfPrevious;
                    c = previous;
                }
                while (c >= clearCode) {
                    if (depth >= kTableSize) return GifStatus::BadCode;
                    stack[depth++] = suffix[c];
                    c = prefix[c];
                }
                stack[depth++] = suffix[c];
                const uint8_t first = suffix[c];
                while (depth > 0) sink.put(stack[--depth]);
                if (nextCode < kTableSize) {
                    prefix[nextCode] = uint16_t(previous);
                    suffix[nextCode] = first;
                    ++nextCode;
                    if (nextCode == (1 << codeBits) && codeBits < kMaxCodeBits) ++codeBits;
                }
                previous = code;
                firstOfPrevious = first;
            }
        }
    }
}

GifStatus fail(GifImage& out, GifStatus status) {
    out = GifImage();
    return status;
}

}  // namespace

GifStatus decodeGif(const uint8_t* data, size_t size, GifImage& out, int64_t maxPixels) {
    out = GifImage();
    Input in(data, size);
    const uint8_t* signature;
    if (!in.span(6, signature)) return GifStatus::NotGif;
    if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0)
        return GifStatus::NotGif;

    uint16_t screenWidth, screenHeight;
    uint8_t screenFlags, background, aspect;
    if (!in.u16le(screenWidth) || !in.u16le(screenHeight) || !in.u8(screenFlags) || !in.u8(background) ||
        !in.u8(aspect))
        return GifStatus::Truncated;
    GifPaletteEntry global[256];
    if ((screenFlags & 0x80) && !readColourTable(in, 2 << (screenFlags & 7), global)) return GifStatus::Truncated;

    for (;;) {
        uint8_t introducer;
        if (!in.u8(introducer)) return fail(out, GifStatus::Truncated);
        if (introducer == 0x3B) return fail(out, GifStatus::BadImage);  // trailer before any image
        if (introducer == 0x21) {
            uint8_t label;
            if (!in.u8(label)) return fail(out, GifStatus::Truncated);
            if (label == 0xF9) {  // graphic control: the transparent index
                uint8_t n;
                const uint8_t* p;
                if (!in.u8(n) || !in.span(n, p)) return fail(out, GifStatus::Truncated);
                if (n >= 4 && (p[0] & 1)) out.transparentIndex = p[3];
            }
            if (!in.skipSubBlocks()) return fail(out, GifStatus::Truncated);
            continue;
        }
        if (introducer != 0x2C) return fail(out, GifStatus::BadImage);

        uint16_t left, top, width, height;
        uint8_t flags;
        if (!in.u16le(left) || !in.u16le(top) || !in.u16le(width) || !in.u16le(height) || !in.u8(flags))
            return fail(out, GifStatus::Truncated);
        if (width == 0 || height == 0 || int64_t(width) * height > maxPixels) return fail(out, GifStatus::BadImage);
        out.width = width;
        out.height = height;
        out.interlaced = (flags & 0x40) != 0;
        out.pixels.assign(size_t(width) * height, 0);
        for (int i = 0; i < 256; ++i) {
            out.palette[i] = global[i];
            out.palette[i].unused = true;
        }
        if ((flags & 0x80) && !readColourTable(in, 2 << (flags & 7), out.palette))
            return fail(out, GifStatus::Truncated);
        PixelSink sink(out);
        if (const GifStatus s = decodeLzw(in, sink); s != GifStatus::Ok) return fail(out, s);
        out.paletteSize = 256;
        while (out.paletteSize > 0 && out.palette[out.paletteSize - 1].unused) --out.paletteSize;
        return GifStatus::Ok;  // only the first image is kept
    }
}

const char* gifStatusText(GifStatus status) {
    switch (status) {
        case GifStatus::Ok: return "decoded";
        case GifStatus::NotGif: return "not a GIF file";
        case GifStatus::Truncated: return "the GIF file ends early";
        case GifStatus::BadImage: return "the GIF file holds no usable image";
        case GifStatus::BadCodeSize: return "the GIF image has a bad code size";
        case GifStatus::BadCode: return "the GIF image data is corrupt";
    }
    return "unknown GIF error";
}

}  // namespace tv
