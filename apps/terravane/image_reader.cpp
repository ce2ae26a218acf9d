// Image files read a band of rows at a time: the file is read as the rows are
// asked for, so a source as large as a render holds only a few rows in memory.
// A build without a codec library defines TV_NO_PNG or TV_NO_TIFF.
#ifndef TV_NO_PNG
#include <png.h>
#endif
#ifndef TV_NO_TIFF
#include <tiffio.h>
#endif

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "image_io.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace tv::cli {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// A streamed image may be as large as a render; a whole decode keeps the readers' limit.
bool streamedSizeAllowed(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxWrittenPixels;
}

// As the whole-file readers: a compressed file cannot promise much more than
// its size allows (deflate about 1032 to 1).
[[maybe_unused]] bool plausible(uint64_t imageBytes, uint64_t fileSize, uint64_t ratio) {
    return imageBytes <= fileSize * ratio + (uint64_t(1) << 20);
}

#ifndef TV_NO_PNG
void pngReadError(png_structp png, png_const_charp msg) {
    auto* s = static_cast<char*>(png_get_error_ptr(png));
    if (s) std::snprintf(s, 200, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}
void pngReadWarning(png_structp, png_const_charp) {}
#endif

#ifndef TV_NO_TIFF
thread_local std::string tiffReadError;
void tiffReaderError(const char*, const char* fmt, va_list ap) {
    char buf[256];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    tiffReadError = buf;
}
void tiffReaderWarning(const char*, const char*, va_list) {}
#endif

}  // namespace

struct ImageReader::State {
    ImageFormat format = ImageFormat::Unknown;
    int32_t width = 0, height = 0, channels = 0, depth = 8;
    int32_t rows = 0;
    size_t rowBytes = 0;
    platform::FileReader file;
    uint64_t pos = 0;

#ifndef TV_NO_PNG
    png_structp png = nullptr;
    png_infop info = nullptr;
#endif
    char pngMessage[200] = "PNG error";
#ifndef TV_NO_TIFF
    TIFF* tif = nullptr;
#endif
    int64_t maxval = 255;  // PPM/PGM
    std::vector<uint8_t> scratch;

    bool whole = false;  // decoded whole into image
    Image image;

    ~State() {
#ifndef TV_NO_PNG
        if (png) png_destroy_read_struct(&png, &info, nullptr);
#endif
#ifndef TV_NO_TIFF
        if (tif) TIFFClose(tif);
#endif
    }

    size_t read(void* out, size_t n) {
        const size_t got = file.readAt(pos, out, n);
        pos += got;
        return got;
    }
};

namespace {

using State = ImageReader::State;

// ---------------------------------------------------------------- PNG
#ifndef TV_NO_PNG

void pngTake(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<State*>(png_get_io_ptr(png));
    if (s->read(out, n) != n) png_error(png, "the PNG file is truncated");
}

// The libpng calls, kept free of objects with destructors because a libpng
// error returns here through longjmp. interlaced is set for an interlaced
// file (read whole instead).
bool pngOpen(State* s, bool* interlaced) {
    s->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, s->pngMessage, pngReadError, pngReadWarning);
    if (!s->png) return false;
    s->info = png_create_info_struct(s->png);
    if (!s->info) return false;
    png_structp png = s->png;
    png_infop info = s->info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, s, pngTake);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!streamedSizeAllowed(w, h)) png_error(png, "the PNG image is too large");
    if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        *interlaced = true;
        return true;
    }
    int bitDepth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_swap(png);  // native little-endian samples
    png_read_update_info(png, info);
    bitDepth = png_get_bit_depth(png, info);
    const int channels = png_get_channels(png, info);
    if ((bitDepth != 8 && bitDepth != 16) || channels < 1 || channels > 4)
        png_error(png, "unsupported PNG sample layout");
    s->width = int32_t(w);
    s->height = int32_t(h);
    s->channels = channels;
    s->depth = bitDepth;
    s->rowBytes = size_t(w) * size_t(channels) * size_t(bitDepth / 8);
    if (!plausible(uint64_t(s->rowBytes) * h, s->file.size(), 1100))
        png_error(png, "the PNG file is too short for its image size");
    if (png_get_rowbytes(png, info) != s->rowBytes) png_error(png, "unsupported PNG sample layout");
    return true;
}

bool pngRows(State* s, uint8_t* out, int32_t count) {
    if (setjmp(png_jmpbuf(s->png))) return false;
    for (int32_t i = 0; i < count; ++i) png_read_row(s->png, out + size_t(i) * s->rowBytes, nullptr);
    return true;
}

#endif  // TV_NO_PNG

// ---------------------------------------------------------------- TIFF
#ifndef TV_NO_TIFF

tmsize_t tiffTake(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<State*>(h);
    return n < 0 ? 0 : tmsize_t(s->read(buf, size_t(n)));
}
tmsize_t tiffNoWrite(thandle_t, void*, tmsize_t) { return 0; }
toff_t tiffSeekIn(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<State*>(h);
    const uint64_t base = whence == SEEK_SET ? 0 : (whence == SEEK_CUR ? s->pos : s->file.size());
    s->pos = base + off;
    return toff_t(s->pos);
}
int tiffNoClose(thandle_t) { return 0; }
toff_t tiffFileSize(thandle_t h) { return toff_t(static_cast<State*>(h)->file.size()); }
int tiffNoMap(thandle_t, void**, toff_t*) { return 0; }
void tiffNoUnmap(thandle_t, void*, toff_t) {}

// Opens the file's first image; false with the reason, or direct = false
// for a layout that is read whole.
bool tiffOpen(State* s, bool* direct, std::string* error) {
    TIFFSetErrorHandler(tiffReaderError);
    TIFFSetWarningHandler(tiffReaderWarning);
    tiffReadError.clear();
    s->tif = TIFFClientOpen("image", "rm", s, tiffTake, tiffNoWrite, tiffSeekIn, tiffNoClose, tiffFileSize, tiffNoMap,
                            tiffNoUnmap);
    if (!s->tif) return fail(error, "not a readable TIFF file" + (tiffReadError.empty() ? "" : ": " + tiffReadError));
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetField(s->tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(s->tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(s->tif, TIFFTAG_PHOTOMETRIC, &photometric);
    if (!streamedSizeAllowed(w, h)) return fail(error, "the TIFF image is too large or empty");
    *direct = planar == PLANARCONFIG_CONTIG && spp >= 1 && spp <= 4 && !TIFFIsTiled(s->tif) &&
              (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_RGB) &&
              ((bps == 8 || bps == 16) ? format == SAMPLEFORMAT_UINT : (bps == 32 && format == SAMPLEFORMAT_IEEEFP));
    if (!*direct) return true;
    s->width = int32_t(w);
    s->height = int32_t(h);
    s->channels = spp;
    s->depth = bps;
    s->rowBytes = size_t(w) * spp * (bps / 8);
    if (!plausible(uint64_t(s->rowBytes) * h, s->file.size(), 1500))
        return fail(error, "the TIFF file is too short for its image size");
    if (size_t(TIFFScanlineSize(s->tif)) != s->rowBytes) return fail(error, "the TIFF file is damaged");
    return true;
}

#endif  // TV_NO_TIFF

// ---------------------------------------------------------------- PPM / PGM

bool pnmNumber(const uint8_t* d, size_t n, size_t& pos, int64_t& value) {
    for (;;) {
        while (pos < n && std::isspace(d[pos])) ++pos;
        if (pos < n && d[pos] == '#') {
            while (pos < n && d[pos] != '\n') ++pos;
            continue;
        }
        break;
    }
    if (pos >= n || !std::isdigit(d[pos])) return false;
    value = 0;
    while (pos < n && std::isdigit(d[pos])) {
        value = value * 10 + (d[pos] - '0');
        if (value > 1000000000) return false;
        ++pos;
    }
    return true;
}

bool pnmOpen(State* s, std::string* error) {
    uint8_t head[4096];
    const size_t n = s->file.readAt(0, head, sizeof head);
    if (n < 2 || head[0] != 'P' || (head[1] != '5' && head[1] != '6')) return fail(error, "not a binary PPM or PGM file");
    s->channels = head[1] == '6' ? 3 : 1;
    size_t pos = 2;
    int64_t w = 0, h = 0;
    if (!pnmNumber(head, n, pos, w) || !pnmNumber(head, n, pos, h) || !pnmNumber(head, n, pos, s->maxval) ||
        pos >= n || !std::isspace(head[pos]))
        return fail(error, "damaged PPM/PGM header");
    ++pos;
    if (!streamedSizeAllowed(w, h)) return fail(error, "the PPM/PGM image is too large or empty");
    if (s->maxval < 1 || s->maxval > 65535) return fail(error, "bad PPM/PGM maximum value");
    s->width = int32_t(w);
    s->height = int32_t(h);
    s->depth = s->maxval < 256 ? 8 : 16;
    s->rowBytes = size_t(w) * size_t(s->channels) * size_t(s->depth / 8);
    if (s->file.size() - pos < uint64_t(s->rowBytes) * uint64_t(h)) return fail(error, "the PPM/PGM file is truncated");
    s->pos = pos;
    s->scratch.resize(s->rowBytes);
    return true;
}

bool pnmRows(State* s, uint8_t* out, int32_t count) {
    const uint32_t full = s->depth == 8 ? 255u : 65535u;
    const uint64_t maxval = uint64_t(s->maxval);
    const size_t samples = size_t(s->width) * size_t(s->channels);
    for (int32_t r = 0; r < count; ++r) {
        if (s->read(s->scratch.data(), s->rowBytes) != s->rowBytes) return false;
        const uint8_t* d = s->scratch.data();
        uint8_t* row = out + size_t(r) * s->rowBytes;
        for (size_t i = 0; i < samples; ++i) {
            uint32_t v = s->depth == 8 ? d[i] : (uint32_t(d[2 * i]) << 8 | d[2 * i + 1]);
            v = std::min<uint32_t>(v, uint32_t(maxval));
            // Scaled to the full range of the depth.
            const uint32_t scaled = uint32_t((uint64_t(v) * full + maxval / 2) / maxval);
            if (s->depth == 8) {
                row[i] = uint8_t(scaled);
            } else {
                const uint16_t s16 = uint16_t(scaled);
                std::memcpy(row + 2 * i, &s16, 2);
            }
        }
    }
    return true;
}

}  // namespace

ImageReader::ImageReader() = default;
ImageReader::~ImageReader() { delete state_; }

bool ImageReader::open(const std::string& path, std::string* error) {
    delete state_;
    state_ = new State;
    State& s = *state_;
    platform::clearLastError();
    if (platform::isFolder(path)) return fail(error, "cannot read \"" + path + "\": it is a folder");
    if (!s.file.open(path)) {
        const std::string why = platform::lastErrorText();
        return fail(error, "cannot read \"" + path + "\"" + (why.empty() ? "" : ": " + why));
    }
    // The content decides (as readImage); the extension only when it says nothing.
    uint8_t magic[32] = {};
    s.format = formatOfContent(magic, s.file.readAt(0, magic, sizeof magic));
    if (s.format == ImageFormat::Unknown) s.format = formatForPath(path);
    std::string why;
    bool ok = true, whole = !formatAvailable(s.format);
    switch (whole ? ImageFormat::Unknown : s.format) {
#ifndef TV_NO_PNG
        case ImageFormat::Png: {
            bool interlaced = false;
            ok = pngOpen(state_, &interlaced);
            if (!ok) why = s.pngMessage;
            whole = interlaced;
            break;
        }
#endif
#ifndef TV_NO_TIFF
        case ImageFormat::Tiff: {
            bool direct = true;
            ok = tiffOpen(state_, &direct, &why);
            whole = ok && !direct;
            break;
        }
#endif
        case ImageFormat::Ppm:
        case ImageFormat::Pgm:
            ok = pnmOpen(state_, &why);
            break;
        default:
            // JPEG, BMP, PFM (and whatever readImage refuses, with its reason).
            whole = true;
            break;
    }
    if (!ok) return fail(error, "\"" + path + "\": " + why);
    if (whole) {
        // A file or a layout read whole, within the whole-file readers' limits.
        s.file.close();
        if (!readImage(path, s.image, error)) return false;
        s.whole = true;
        s.width = s.image.width;
        s.height = s.image.height;
        s.channels = s.image.channels;
        s.depth = s.image.depth;
        s.rowBytes = s.image.rowBytes();
    }
    return true;
}

int32_t ImageReader::width() const { return state_ ? state_->width : 0; }
int32_t ImageReader::height() const { return state_ ? state_->height : 0; }
int32_t ImageReader::channels() const { return state_ ? state_->channels : 0; }
int32_t ImageReader::depth() const { return state_ ? state_->depth : 0; }
size_t ImageReader::rowBytes() const { return state_ ? state_->rowBytes : 0; }
bool ImageReader::streaming() const { return state_ && !state_->whole; }

bool ImageReader::readRows(uint8_t* out, int32_t count, std::string* error) {
    if (!state_) return fail(error, "no image file is open");
    State& s = *state_;
    if (count < 0 || count > s.height - s.rows) return fail(error, "more rows than the image has");
    bool ok = true;
    if (s.whole) {
        std::memcpy(out, s.image.data.data() + size_t(s.rows) * s.rowBytes, size_t(count) * s.rowBytes);
#ifndef TV_NO_PNG
    } else if (s.format == ImageFormat::Png) {
        ok = pngRows(state_, out, count) || fail(error, std::string("the PNG file is damaged: ") + s.pngMessage);
#endif
#ifndef TV_NO_TIFF
    } else if (s.format == ImageFormat::Tiff) {
        for (int32_t i = 0; ok && i < count; ++i)
            ok = TIFFReadScanline(s.tif, out + size_t(i) * s.rowBytes, uint32_t(s.rows + i), 0) >= 0;
        if (!ok) fail(error, "the TIFF file is damaged" + (tiffReadError.empty() ? "" : ": " + tiffReadError));
#endif
    } else {
        ok = pnmRows(state_, out, count) || fail(error, "the PPM/PGM file is truncated");
    }
    if (ok) s.rows += count;
    return ok;
}

}  // namespace tv::cli
