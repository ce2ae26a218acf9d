// The image file writers: PNG, TIFF, OpenEXR, PPM/PGM, BMP and PFM, each
// taking the image a band of rows at a time and passing the encoded bytes
// straight on to the file (or to memory, or to standard output), so that no
// writer holds the image.
// A build without a codec library defines TV_NO_PNG, TV_NO_TIFF or TV_NO_EXR.
#ifndef TV_NO_PNG
#include <png.h>
#endif
#ifndef TV_NO_TIFF
#include <tiffio.h>
#endif
#ifndef TV_NO_EXR
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfCompression.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfIO.h>
#include <OpenEXR/ImfOutputFile.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

#include "image_io.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace tv::cli {

namespace {

// Compression that suits planet images (wide black space, smooth gradients)
// at little cost: zlib level 1 with the "sub" row filter. On a 2048 x 2048
// globe it takes about a quarter of the time of libpng's default (level 6,
// adaptive filters) for a file 16 % larger; on a 16-bit lit map 3 % larger.
constexpr int kPngZlibLevel = 1;
#ifndef TV_NO_PNG
constexpr int kPngFilters = PNG_FILTER_SUB;
#endif
// Deflate levels of TIFF (after horizontal differencing, the same idea as
// "sub") and OpenEXR, for the same reason.
constexpr int kTiffZipLevel = 1;
constexpr int kExrZipLevel = 1;

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

#ifndef TV_NO_PNG
void pngWriteError(png_structp png, png_const_charp msg) {
    auto* s = static_cast<char*>(png_get_error_ptr(png));
    if (s) std::snprintf(s, 200, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}
void pngWriteWarning(png_structp, png_const_charp) {}
#endif

thread_local std::string tiffWriteError;
#ifndef TV_NO_TIFF
void tiffWriterError(const char*, const char* fmt, va_list ap) {
    char buf[256];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    tiffWriteError = buf;
}
void tiffWriterWarning(const char*, const char*, va_list) {}
#endif

// Formats whose encoders go back to bytes written earlier (a header completed
// at the end, rows stored bottom-up): on standard output, which cannot seek,
// their file is made in memory and sent whole at the end.
bool seeksBack(ImageFormat format) {
    return format == ImageFormat::Tiff || format == ImageFormat::Exr || format == ImageFormat::Bmp ||
           format == ImageFormat::Pfm;
}

}  // namespace

struct ImageWriter::State {
    ImageFormat format = ImageFormat::Unknown;
    int32_t width = 0, height = 0, channels = 0, depth = 8;
    int32_t rows = 0;
    size_t rowBytes = 0;

    // Where the bytes go: a file put in place at the end, memory, or
    // standard output (bytes as they come, or memory sent at the end).
    platform::FileWriter file;
    std::vector<uint8_t>* memory = nullptr;
    std::vector<uint8_t> held;  // standard output of a format that seeks back
    FILE* stream = nullptr;
    int64_t end = 0;  // bytes so far
    int64_t pos = 0;  // where the next bytes go (formats that seek back)
    bool failed = false;
    std::string reason;  // the system's words for the first failed write

#ifndef TV_NO_PNG
    png_structp png = nullptr;
    png_infop info = nullptr;
#endif
    char pngMessage[200] = "PNG error";
#ifndef TV_NO_TIFF
    TIFF* tif = nullptr;
#endif
#ifndef TV_NO_EXR
    std::unique_ptr<Imf::OStream> exrStream;
    std::unique_ptr<Imf::OutputFile> exr;
#endif
    std::vector<uint8_t> scratch;
    int64_t headerBytes = 0;     // BMP, PFM: where the pixel rows start
    size_t fileRowBytes = 0;     // BMP, PFM: a row as stored

    ~State() { release(); }

    bool put(const void* data, size_t n) {
        if (failed) return false;
        if (memory) {
            const size_t at = size_t(pos);
            if (at + n > memory->size()) memory->resize(at + n);
            std::memcpy(memory->data() + at, data, n);
        } else if (stream) {
            // Only formats that write in order come here.
            failed = pos != end || std::fwrite(data, 1, n, stream) != n;
        } else if (pos == end) {
            failed = !file.write(data, n);
        } else {
            // Bytes before the end: a header completed last, or a row stored
            // bottom-up. A seek past the end is filled with zeros first.
            while (pos > end && !failed) {
                static const uint8_t zeros[1 << 16] = {};
                const size_t k = size_t(std::min<int64_t>(pos - end, sizeof zeros));
                failed = !file.write(zeros, k);
                end += int64_t(k);
            }
            const int64_t inside = std::min<int64_t>(int64_t(n), end - pos);
            if (!failed && inside > 0) failed = !file.writeAt(pos, data, size_t(inside));
            if (!failed && size_t(inside) < n)
                failed = !file.write(static_cast<const uint8_t*>(data) + inside, n - size_t(inside));
        }
        if (failed) {
            if (reason.empty()) reason = platform::lastErrorText();
            return false;
        }
        pos += int64_t(n);
        end = std::max(end, pos);
        return true;
    }

    // Drops the encoders without finishing them.
    void release() {
#ifndef TV_NO_PNG
        if (png) png_destroy_write_struct(&png, &info);
        png = nullptr;
        info = nullptr;
#endif
#ifndef TV_NO_TIFF
        if (tif) TIFFCleanup(tif);
        tif = nullptr;
#endif
#ifndef TV_NO_EXR
        try {
            exr.reset();
        } catch (...) {
        }
        exrStream.reset();
#endif
    }
};

namespace {

using State = ImageWriter::State;

// ---------------------------------------------------------------- PNG
#ifndef TV_NO_PNG

void pngPut(png_structp png, png_bytep data, png_size_t n) {
    auto* s = static_cast<State*>(png_get_io_ptr(png));
    if (!s->put(data, n)) png_error(png, "cannot write the file");
}
void pngFlush(png_structp) {}

// The libpng calls, kept free of objects with destructors because a libpng
// error returns here through longjmp.
bool pngStart(State* s) {
    s->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, s->pngMessage, pngWriteError, pngWriteWarning);
    if (!s->png) return false;
    s->info = png_create_info_struct(s->png);
    if (!s->info) return false;
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_set_write_fn(s->png, s, pngPut, pngFlush);
    const int type = s->channels == 1   ? PNG_COLOR_TYPE_GRAY
                     : s->channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                     : s->channels == 3 ? PNG_COLOR_TYPE_RGB
                                        : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(s->png, s->info, png_uint_32(s->width), png_uint_32(s->height), s->depth, type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(s->png, kPngZlibLevel);
    png_set_filter(s->png, PNG_FILTER_TYPE_BASE, kPngFilters);
    png_write_info(s->png, s->info);
    // PNG stores 16-bit samples big-endian; the rows are native little-endian.
    if (s->depth == 16) png_set_swap(s->png);
    return true;
}

bool pngRows(State* s, const uint8_t* rows, int32_t count) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    for (int32_t i = 0; i < count; ++i) png_write_row(s->png, rows + size_t(i) * s->rowBytes);
    return true;
}

bool pngEnd(State* s) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    png_write_end(s->png, nullptr);
    return true;
}

#endif  // TV_NO_PNG

// ---------------------------------------------------------------- TIFF
#ifndef TV_NO_TIFF

tmsize_t tiffPut(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<State*>(h);
    return n >= 0 && s->put(buf, size_t(n)) ? n : 0;
}
tmsize_t tiffNoRead(thandle_t, void*, tmsize_t) { return 0; }
toff_t tiffSeekTo(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<State*>(h);
    const int64_t base = whence == SEEK_SET ? 0 : (whence == SEEK_CUR ? s->pos : s->end);
    const int64_t target = base + int64_t(off);
    if (target < 0 || target > (int64_t(1) << 42)) return toff_t(-1);
    s->pos = target;
    return toff_t(target);
}
int tiffNoClose(thandle_t) { return 0; }
toff_t tiffEnd(thandle_t h) { return toff_t(static_cast<State*>(h)->end); }
int tiffNoMap(thandle_t, void**, toff_t*) { return 0; }
void tiffNoUnmap(thandle_t, void*, toff_t) {}

bool tiffStart(State* s) {
    TIFFSetErrorHandler(tiffWriterError);
    TIFFSetWarningHandler(tiffWriterWarning);
    tiffWriteError.clear();
    // Classic TIFF up to 4 GB, BigTIFF beyond.
    const uint64_t bytes = uint64_t(s->rowBytes) * uint64_t(s->height);
    const char* mode = bytes > (uint64_t(15) << 28) ? "w8" : "w";
    s->tif = TIFFClientOpen("image", mode, s, tiffNoRead, tiffPut, tiffSeekTo, tiffNoClose, tiffEnd, tiffNoMap,
                            tiffNoUnmap);
    if (!s->tif) return false;
    TIFF* tif = s->tif;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(s->width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(s->height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(s->channels));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(s->depth));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, uint16_t(s->depth == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(s->channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
    TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kTiffZipLevel);
    // Horizontal differencing for integer samples (every TIFF reader knows it).
    if (s->depth != 32) TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL));
    TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
    if (s->channels == 2 || s->channels == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    // Strips of about 64 KB: few enough offsets for huge images, small enough
    // for any reader.
    const uint32_t perStrip = uint32_t(std::clamp<size_t>((size_t(1) << 16) / std::max<size_t>(s->rowBytes, 1), 1, 4096));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, perStrip);
    s->scratch.resize(s->rowBytes);
    return true;
}

bool tiffRows(State* s, const uint8_t* rows, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        // The predictor works in place: give it a copy.
        std::memcpy(s->scratch.data(), rows + size_t(i) * s->rowBytes, s->rowBytes);
        if (TIFFWriteScanline(s->tif, s->scratch.data(), uint32_t(s->rows + i), 0) < 0) return false;
    }
    return true;
}

bool tiffEnd(State* s) {
    const bool ok = TIFFWriteDirectory(s->tif) != 0;
    TIFFClose(s->tif);  // flushes nothing more after the directory
    s->tif = nullptr;
    return ok && !s->failed;
}

#endif  // TV_NO_TIFF

// ---------------------------------------------------------------- OpenEXR
#ifndef TV_NO_EXR

// The library writes its header and tables a few bytes at a time: they are
// gathered into writes of up to 64 KB.
class ExrStream : public Imf::OStream {
public:
    explicit ExrStream(State& s) : Imf::OStream("image"), s_(s) { held_.reserve(kHeld); }
    void write(const char c[], int n) override {
        if (held_.size() + size_t(n) > kHeld) flush();
        if (size_t(n) >= kHeld) return put(c, size_t(n));
        held_.insert(held_.end(), c, c + n);
    }
    uint64_t tellp() override { return uint64_t(s_.pos) + held_.size(); }
    void seekp(uint64_t pos) override {
        flush();
        s_.pos = int64_t(pos);
    }
    void flush() {
        if (held_.empty()) return;
        std::vector<char> out;
        out.swap(held_);
        held_.reserve(kHeld);
        put(out.data(), out.size());
    }

private:
    static constexpr size_t kHeld = 64 * 1024;
    void put(const char* c, size_t n) {
        if (!s_.put(c, n)) throw std::runtime_error("cannot write the file");
    }
    State& s_;
    std::vector<char> held_;
};

const char* exrChannelName(int32_t channels, int32_t c) {
    static const char* colour[4] = {"R", "G", "B", "A"};
    static const char* grey[2] = {"Y", "A"};
    return channels <= 2 ? grey[c] : colour[c];
}

bool exrStart(State* s, std::string* error) {
    try {
        Imf::Header header(s->width, s->height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.zipCompressionLevel() = kExrZipLevel;
        for (int32_t c = 0; c < s->channels; ++c)
            header.channels().insert(exrChannelName(s->channels, c), Imf::Channel(Imf::FLOAT));
        s->exrStream = std::make_unique<ExrStream>(*s);
        s->exr = std::make_unique<Imf::OutputFile>(*s->exrStream, header);
    } catch (const std::exception& e) {
        return fail(error, std::string("OpenEXR writer failed: ") + e.what());
    }
    return true;
}

// Rendered colours follow the sRGB curve, as in every other image file;
// OpenEXR files hold linear light, so the colour channels (not the alpha) are
// converted on the way out. Values above 1 follow the same curve.
float linearLight(float v) {
    if (!(v > 0.04045f)) return v / 12.92f;
    return float(std::pow((double(v) + 0.055) / 1.055, 2.4));
}

bool exrRows(State* s, const uint8_t* rows, int32_t count, std::string* error) {
    try {
        // The band converted to linear light in a buffer of the writer's own.
        const size_t floats = s->rowBytes / sizeof(float) * size_t(count);
        const int32_t colours = s->channels == 2 || s->channels == 4 ? s->channels - 1 : s->channels;
        s->scratch.resize(floats * sizeof(float));
        float* band = reinterpret_cast<float*>(s->scratch.data());
        std::memcpy(band, rows, floats * sizeof(float));
        for (size_t i = 0; i < floats; i += size_t(s->channels))
            for (int32_t c = 0; c < colours; ++c) band[i + size_t(c)] = linearLight(band[i + size_t(c)]);
        // The slices address row y of the image; only rows of this band are read.
        const size_t xStride = size_t(s->channels) * sizeof(float);
        const size_t yStride = s->rowBytes;
        char* base = reinterpret_cast<char*>(band) - ptrdiff_t(yStride) * s->rows;
        Imf::FrameBuffer fb;
        for (int32_t c = 0; c < s->channels; ++c)
            fb.insert(exrChannelName(s->channels, c),
                      Imf::Slice(Imf::FLOAT, base + size_t(c) * sizeof(float), xStride, yStride));
        s->exr->setFrameBuffer(fb);
        s->exr->writePixels(count);
    } catch (const std::exception& e) {
        return fail(error, std::string("OpenEXR writer failed: ") + e.what());
    }
    return true;
}

bool exrEnd(State* s, std::string* error) {
    try {
        s->exr.reset();  // writes the line offset table
        static_cast<ExrStream&>(*s->exrStream).flush();
    } catch (const std::exception& e) {
        return fail(error, std::string("OpenEXR writer failed: ") + e.what());
    }
    return !s->failed;
}

#endif  // TV_NO_EXR

// ---------------------------------------------------------------- PPM / PGM

bool pnmStart(State* s) {
    const bool grey = s->format == ImageFormat::Pgm;
    const int32_t maxval = s->depth == 8 ? 255 : 65535;
    const std::string head = std::string(grey ? "P5" : "P6") + "\n" + std::to_string(s->width) + " " +
                             std::to_string(s->height) + "\n" + std::to_string(maxval) + "\n";
    s->scratch.resize(size_t(s->width) * (grey ? 1u : 3u) * (s->depth == 8 ? 1u : 2u));
    return s->put(head.data(), head.size());
}

// A sample of the row at full scale 1 (as Image::sample reads it).
float unitSample(const uint8_t* row, int32_t depth, size_t i) {
    if (depth == 8) return float(row[i]) / 255.0f;
    uint16_t v;
    std::memcpy(&v, row + 2 * i, 2);
    return float(v) / 65535.0f;
}

bool pnmRows(State* s, const uint8_t* rows, int32_t count) {
    const bool grey = s->format == ImageFormat::Pgm;
    const int32_t outChannels = grey ? 1 : 3;
    const bool sixteen = s->depth == 16;
    for (int32_t r = 0; r < count; ++r) {
        const uint8_t* row = rows + size_t(r) * s->rowBytes;
        uint8_t* out = s->scratch.data();
        for (int32_t x = 0; x < s->width; ++x) {
            const size_t px = size_t(x) * size_t(s->channels);
            for (int32_t c = 0; c < outChannels; ++c) {
                uint32_t v;
                if (grey && s->channels >= 3) {
                    // Grey from colour: the luminance.
                    float l = 0.3f * unitSample(row, s->depth, px) + 0.59f * unitSample(row, s->depth, px + 1) +
                              0.11f * unitSample(row, s->depth, px + 2);
                    l = std::clamp(l, 0.0f, 1.0f);
                    v = uint32_t(l * (sixteen ? 65535.0f : 255.0f) + 0.5f);
                } else {
                    // Colour from grey: replicated.
                    const size_t i = px + size_t(s->channels >= 3 ? c : 0);
                    if (sixteen) {
                        uint16_t w;
                        std::memcpy(&w, row + 2 * i, 2);
                        v = w;
                    } else {
                        v = row[i];
                    }
                }
                if (sixteen) {
                    *out++ = uint8_t(v >> 8);
                    *out++ = uint8_t(v);
                } else {
                    *out++ = uint8_t(v);
                }
            }
        }
        if (!s->put(s->scratch.data(), s->scratch.size())) return false;
    }
    return true;
}

// ---------------------------------------------------------------- BMP

// 8-bit images: grey and RGB as 24-bit bitmaps (grey replicated), images
// with alpha as 32-bit bitmaps with an alpha mask (BITMAPV4HEADER). Rows are
// stored bottom-up, each at its place in the file.
constexpr uint32_t kBmpFileHeader = 14, kBmpInfoHeader = 40, kBmpV4Header = 108;

void putLe(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

bool bmpStart(State* s, std::string* error) {
    const bool alpha = s->channels == 2 || s->channels == 4;
    const uint32_t bytesPerPixel = alpha ? 4 : 3;
    const uint64_t rowBytes = (uint64_t(s->width) * bytesPerPixel + 3) & ~uint64_t(3);
    const uint32_t info = alpha ? kBmpV4Header : kBmpInfoHeader;
    const uint32_t header = kBmpFileHeader + info;
    const uint64_t total = header + rowBytes * uint64_t(s->height);
    if (total > 0xFFFFFFFFull) return fail(error, "the image is too large for a BMP file");
    std::vector<uint8_t> h;
    h.push_back('B');
    h.push_back('M');
    putLe(h, uint32_t(total), 4);
    putLe(h, 0, 4);
    putLe(h, header, 4);
    putLe(h, info, 4);
    putLe(h, uint32_t(s->width), 4);
    putLe(h, uint32_t(s->height), 4);  // positive: bottom-up
    putLe(h, 1, 2);
    putLe(h, bytesPerPixel * 8, 2);
    putLe(h, alpha ? 3 : 0, 4);  // BI_BITFIELDS with the masks below, or BI_RGB
    putLe(h, uint32_t(rowBytes * uint64_t(s->height)), 4);
    putLe(h, 2835, 4);  // 72 dpi
    putLe(h, 2835, 4);
    putLe(h, 0, 4);
    putLe(h, 0, 4);
    if (alpha) {
        putLe(h, 0x00FF0000, 4);  // red, green, blue, alpha masks
        putLe(h, 0x0000FF00, 4);
        putLe(h, 0x000000FF, 4);
        putLe(h, 0xFF000000, 4);
        putLe(h, 0x73524742, 4);  // 'sRGB'
        h.insert(h.end(), 36 + 12, 0);  // end points and gamma, unused for sRGB
    }
    s->headerBytes = header;
    s->fileRowBytes = size_t(rowBytes);
    s->scratch.assign(s->fileRowBytes, 0);
    return s->put(h.data(), h.size()) || fail(error, "cannot write the file");
}

bool bmpRows(State* s, const uint8_t* rows, int32_t count) {
    const bool alpha = s->channels == 2 || s->channels == 4;
    const bool grey = s->channels <= 2;
    for (int32_t r = 0; r < count; ++r) {
        const uint8_t* row = rows + size_t(r) * s->rowBytes;
        uint8_t* out = s->scratch.data();
        for (int32_t x = 0; x < s->width; ++x) {
            const uint8_t* p = row + size_t(x) * size_t(s->channels);
            *out++ = grey ? p[0] : p[2];
            *out++ = grey ? p[0] : p[1];
            *out++ = p[0];
            if (alpha) *out++ = p[s->channels - 1];
        }
        s->pos = s->headerBytes + int64_t(s->height - 1 - (s->rows + r)) * int64_t(s->fileRowBytes);
        if (!s->put(s->scratch.data(), s->fileRowBytes)) return false;
    }
    return true;
}

// ---------------------------------------------------------------- PFM

// 32-bit images: grey ("Pf") or RGB ("PF"), little-endian, rows bottom-up;
// an alpha channel is dropped (the format has none).
bool pfmStart(State* s) {
    const bool grey = s->channels <= 2;
    const std::string head = std::string(grey ? "Pf" : "PF") + "\n" + std::to_string(s->width) + " " +
                             std::to_string(s->height) + "\n-1.0\n";
    s->headerBytes = int64_t(head.size());
    s->fileRowBytes = size_t(s->width) * (grey ? 1u : 3u) * 4u;
    s->scratch.resize(s->fileRowBytes);
    return s->put(head.data(), head.size());
}

bool pfmRows(State* s, const uint8_t* rows, int32_t count) {
    const int32_t outChannels = s->channels <= 2 ? 1 : 3;
    for (int32_t r = 0; r < count; ++r) {
        const uint8_t* row = rows + size_t(r) * s->rowBytes;
        uint8_t* out = s->scratch.data();
        for (int32_t x = 0; x < s->width; ++x)
            for (int32_t c = 0; c < outChannels; ++c) {
                uint32_t bits;
                std::memcpy(&bits, row + (size_t(x) * size_t(s->channels) + size_t(c)) * 4, 4);
                for (int b = 0; b < 4; ++b) *out++ = uint8_t(bits >> (8 * b));
            }
        s->pos = s->headerBytes + int64_t(s->height - 1 - (s->rows + r)) * int64_t(s->fileRowBytes);
        if (!s->put(s->scratch.data(), s->fileRowBytes)) return false;
    }
    return true;
}

}  // namespace

ImageWriter::ImageWriter() = default;

ImageWriter::~ImageWriter() { abandon(); }

namespace {

// Starts the format's encoder (its header, for most).
bool startFormat(State* s, std::string* error);

// A write that failed below the encoder, in the system's words.
bool sinkFailure(const State& s, std::string* error) {
    const std::string what = s.stream ? "cannot write the image to standard output" : "cannot write the image file";
    return fail(error, s.reason.empty() ? what : what + ": " + s.reason);
}

bool startEncoder(State* s, std::string* error) {
    if (!startFormat(s, error)) return s->failed ? sinkFailure(*s, error) : false;
    return true;
}

bool startFormat(State* s, std::string* error) {
    switch (s->format) {
#ifndef TV_NO_PNG
        case ImageFormat::Png:
            if (!pngStart(s)) return fail(error, std::string("PNG writer failed: ") + s->pngMessage);
            return true;
#endif
#ifndef TV_NO_TIFF
        case ImageFormat::Tiff:
            if (!tiffStart(s)) return fail(error, "cannot start the TIFF writer: " + tiffWriteError);
            return true;
#endif
#ifndef TV_NO_EXR
        case ImageFormat::Exr:
            return exrStart(s, error);
#endif
        case ImageFormat::Ppm:
        case ImageFormat::Pgm:
            return pnmStart(s) ? true : fail(error, "cannot write the file");
        case ImageFormat::Bmp:
            return bmpStart(s, error);
        case ImageFormat::Pfm:
            return pfmStart(s) ? true : fail(error, "cannot write the file");
        default:
            return fail(error, "unknown image file type");
    }
}

bool shapeAllowed(ImageFormat format, int32_t width, int32_t height, int32_t channels, int32_t depth,
                  std::string* error) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide ||
        int64_t(width) * height > kMaxWrittenPixels || channels < 1 || channels > 4)
        return fail(error, "no image to write");
    return formatSupportsDepth(format, depth, error);
}

}  // namespace

namespace {

ImageWriter::State* newState(ImageFormat format, int32_t width, int32_t height, int32_t channels, int32_t depth) {
    auto* s = new ImageWriter::State;
    s->format = format;
    s->width = width;
    s->height = height;
    s->channels = channels;
    s->depth = depth;
    s->rowBytes = size_t(width) * size_t(channels) * size_t(depth / 8);
    return s;
}

}  // namespace

bool ImageWriter::open(const std::string& path, ImageFormat format, int32_t width, int32_t height, int32_t channels,
                       int32_t depth, std::string* error) {
    abandon();
    if (!shapeAllowed(format, width, height, channels, depth, error)) return false;
    state_ = newState(format, width, height, channels, depth);
    State& s = *state_;
    if (path == "-") {
        s.stream = stdout;
        if (seeksBack(format)) s.memory = &s.held;
    } else {
        platform::clearLastError();
        if (s.file.open(path) != platform::kFileOk) {
            const std::string why = platform::lastErrorText();
            abandon();
            return fail(error, "cannot write \"" + path + "\"" + (why.empty() ? "" : ": " + why));
        }
    }
    if (!startEncoder(state_, error)) {
        abandon();
        return false;
    }
    return true;
}

bool ImageWriter::openMemory(std::vector<uint8_t>& out, ImageFormat format, int32_t width, int32_t height,
                             int32_t channels, int32_t depth, std::string* error) {
    abandon();
    out.clear();
    if (!shapeAllowed(format, width, height, channels, depth, error)) return false;
    state_ = newState(format, width, height, channels, depth);
    state_->memory = &out;
    if (!startEncoder(state_, error)) {
        abandon();
        return false;
    }
    return true;
}

bool ImageWriter::writeRows(const uint8_t* rows, int32_t count, std::string* error) {
    if (!state_) return fail(error, "no image file is open");
    State& s = *state_;
    if (count < 0 || count > s.height - s.rows) return fail(error, "more rows than the image has");
    bool ok;
    switch (s.format) {
#ifndef TV_NO_PNG
        case ImageFormat::Png: ok = pngRows(state_, rows, count); break;
#endif
#ifndef TV_NO_TIFF
        case ImageFormat::Tiff: ok = tiffRows(state_, rows, count); break;
#endif
#ifndef TV_NO_EXR
        case ImageFormat::Exr: ok = exrRows(state_, rows, count, error); break;
#endif
        case ImageFormat::Bmp: ok = bmpRows(state_, rows, count); break;
        case ImageFormat::Pfm: ok = pfmRows(state_, rows, count); break;
        default: ok = pnmRows(state_, rows, count); break;
    }
    if (!ok || s.failed) {
        if (s.failed) return sinkFailure(s, error);
        if (s.format == ImageFormat::Png) return fail(error, std::string("PNG writer failed: ") + s.pngMessage);
        if (s.format == ImageFormat::Tiff) return fail(error, "TIFF writer failed: " + tiffWriteError);
        return false;
    }
    s.rows += count;
    return true;
}

bool ImageWriter::commit(std::string* error) {
    if (!state_) return fail(error, "no image file is open");
    State& s = *state_;
    if (s.rows != s.height) {
        abandon();
        return fail(error, "the image file is incomplete");
    }
    bool ok;
    switch (s.format) {
#ifndef TV_NO_PNG
        case ImageFormat::Png: ok = pngEnd(state_) || fail(error, std::string("PNG writer failed: ") + s.pngMessage); break;
#endif
#ifndef TV_NO_TIFF
        case ImageFormat::Tiff: ok = tiffEnd(state_) || fail(error, "TIFF writer failed: " + tiffWriteError); break;
#endif
#ifndef TV_NO_EXR
        case ImageFormat::Exr: ok = exrEnd(state_, error); break;
#endif
        default: ok = true; break;
    }
    if (s.failed) ok = sinkFailure(s, error);
    if (ok && s.stream) {
        if (!s.held.empty() && std::fwrite(s.held.data(), 1, s.held.size(), s.stream) != s.held.size()) ok = false;
        if (std::fflush(s.stream) != 0) ok = false;
        if (!ok) fail(error, "cannot write the image to standard output");
    } else if (ok && !s.memory && s.file.commit() != platform::kFileOk) {
        ok = fail(error, "cannot put the image file in place: " + platform::lastErrorText());
    }
    abandon();
    return ok;
}

void ImageWriter::abandon() {
    delete state_;  // an uncommitted file is removed with its writer
    state_ = nullptr;
}

int32_t ImageWriter::rowsWritten() const { return state_ ? state_->rows : 0; }
int32_t ImageWriter::height() const { return state_ ? state_->height : 0; }

bool encodeImage(const Image& im, ImageFormat f, std::vector<uint8_t>& out, std::string* error) {
    out.clear();
    if (im.width <= 0 || im.height <= 0 || im.channels < 1 || im.channels > 4 ||
        im.data.size() != im.rowBytes() * size_t(im.height))
        return fail(error, "no image to write");
    ImageWriter writer;
    return writer.openMemory(out, f, im.width, im.height, im.channels, im.depth, error) &&
           writer.writeRows(im.data.data(), im.height, error) && writer.commit(error);
}

bool writeImage(const std::string& path, const Image& image, std::string* error) {
    return writeImage(path, formatForPath(path), image, error);
}

bool writeImage(const std::string& path, ImageFormat format, const Image& image, std::string* error) {
    if (image.width <= 0 || image.height <= 0 || image.channels < 1 || image.channels > 4 ||
        image.data.size() != image.rowBytes() * size_t(image.height))
        return fail(error, "no image to write");
    ImageWriter writer;
    return writer.open(path, format, image.width, image.height, image.channels, image.depth, error) &&
           writer.writeRows(image.data.data(), image.height, error) && writer.commit(error);
}

}  // namespace tv::cli
