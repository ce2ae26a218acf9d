#include "image_io.h"

// A build without a codec library defines TV_NO_PNG, TV_NO_TIFF or TV_NO_EXR.
#ifndef TV_NO_PNG
#include <png.h>
#endif
#ifndef TV_NO_TIFF
#include <tiffio.h>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstring>

#include "clouds/jpeg_memory.h"
#include "platform/errors.h"
#include "image_bmp.h"
#include "image_pfm.h"
#include "platform/files.h"

namespace tv::cli {

namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool sizeAllowed(int64_t w, int64_t h) {
    return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide && w * h <= kMaxImagePixels;
}

// Whether a compressed file of fileSize bytes can plausibly hold an image of
// imageBytes: deflate packs at most about 1032 to 1, LZW about 1400 to 1. A
// header that promises more is damaged (or hostile): refuse it before
// allocating the image.
[[maybe_unused]] bool plausibleSize(uint64_t imageBytes, size_t fileSize, uint64_t ratio) {
    return imageBytes <= uint64_t(fileSize) * ratio + (uint64_t(1) << 20);
}

// ---------------------------------------------------------------- PNG
#ifndef TV_NO_PNG

void pngError(png_structp png, png_const_charp msg) {
    auto* s = static_cast<char*>(png_get_error_ptr(png));
    if (s) std::snprintf(s, 200, "%s", msg ? msg : "PNG error");
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void pngReadData(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (n > s->size - s->pos) png_error(png, "the PNG file is truncated");
    std::memcpy(out, s->data + s->pos, n);
    s->pos += n;
}

bool decodePng(const uint8_t* data, size_t size, Image& out, std::string* error) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return fail(error, "not a PNG file");
    char message[200] = "PNG error";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, message, pngError, pngWarning);
    if (!png) return fail(error, "cannot start the PNG reader");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return fail(error, "cannot start the PNG reader");
    }
    PngSource src{data, size, 0};
    // Everything the reader fills lives outside the jump's reach.
    Image im;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return fail(error, message);
    }
    png_set_read_fn(png, &src, pngReadData);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!sizeAllowed(w, h)) png_error(png, "the PNG image is too large");
    int bitDepth = png_get_bit_depth(png, info);
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_swap(png);  // native little-endian samples
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    bitDepth = png_get_bit_depth(png, info);
    const int channels = png_get_channels(png, info);
    if ((bitDepth != 8 && bitDepth != 16) || channels < 1 || channels > 4)
        png_error(png, "unsupported PNG sample layout");
    if (!plausibleSize(uint64_t(w) * h * uint64_t(channels) * uint64_t(bitDepth / 8), size, 1100))
        png_error(png, "the PNG file is too short for its image size");
    if (!im.allocate(int32_t(w), int32_t(h), channels, bitDepth)) png_error(png, "the PNG image is too large");
    if (png_get_rowbytes(png, info) != im.rowBytes()) png_error(png, "unsupported PNG sample layout");
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = im.data.data() + size_t(y) * im.rowBytes();
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    out = std::move(im);
    return true;
}

#endif  // TV_NO_PNG

// ---------------------------------------------------------------- TIFF
#ifndef TV_NO_TIFF

struct TiffMemory {
    std::vector<uint8_t>* out = nullptr;  // writing
    const uint8_t* in = nullptr;          // reading
    size_t size = 0;
    size_t pos = 0;
};

tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<TiffMemory*>(h);
    if (!m->in || n < 0) return 0;
    const size_t avail = m->pos < m->size ? m->size - m->pos : 0;
    const size_t k = std::min(size_t(n), avail);
    if (k) std::memcpy(buf, m->in + m->pos, k);
    m->pos += k;
    return tmsize_t(k);
}

tmsize_t tiffWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<TiffMemory*>(h);
    if (!m->out || n < 0) return 0;
    const size_t end = m->pos + size_t(n);
    if (end > m->out->size()) m->out->resize(end);
    std::memcpy(m->out->data() + m->pos, buf, size_t(n));
    m->pos = end;
    m->size = std::max(m->size, end);
    return n;
}

toff_t tiffSeek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<TiffMemory*>(h);
    const size_t size = m->out ? m->out->size() : m->size;
    uint64_t base = whence == SEEK_SET ? 0 : (whence == SEEK_CUR ? m->pos : size);
    const uint64_t target = base + off;
    if (target > (uint64_t(1) << 40)) return toff_t(-1);
    if (m->out && target > m->out->size()) m->out->resize(size_t(target));
    m->pos = size_t(target);
    return toff_t(target);
}

int tiffClose(thandle_t) { return 0; }
toff_t tiffSize(thandle_t h) {
    auto* m = static_cast<TiffMemory*>(h);
    return toff_t(m->out ? m->out->size() : m->size);
}
int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}

// libtiff reports through process-wide handlers: keep them quiet, and keep
// the last error for the caller (the command line is single-threaded here).
thread_local std::string tiffLastError;
void tiffErrorHandler(const char*, const char* fmt, va_list ap) {
    char buf[256];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    tiffLastError = buf;
}
void tiffWarningHandler(const char*, const char*, va_list) {}

void quietTiff() {
    TIFFSetErrorHandler(tiffErrorHandler);
    TIFFSetWarningHandler(tiffWarningHandler);
}

bool decodeTiff(const uint8_t* data, size_t size, Image& out, std::string* error) {
    quietTiff();
    tiffLastError.clear();
    TiffMemory mem;
    mem.in = data;
    mem.size = size;
    TIFF* tif = TIFFClientOpen("image", "rm", &mem, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                               tiffUnmap);
    if (!tif) return fail(error, "not a readable TIFF file" + (tiffLastError.empty() ? "" : ": " + tiffLastError));
    uint32_t w = 0, h = 0;
    uint16_t spp = 1, bps = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    Image im;
    bool ok = sizeAllowed(w, h);
    std::string why = ok ? "" : "the TIFF image is too large or empty";

    const bool direct = ok && planar == PLANARCONFIG_CONTIG && spp >= 1 && spp <= 4 && !TIFFIsTiled(tif) &&
                        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_RGB) &&
                        ((bps == 8 || bps == 16) ? format == SAMPLEFORMAT_UINT
                                                 : (bps == 32 && format == SAMPLEFORMAT_IEEEFP));
    // The direct path holds the samples as stored; the fallback expands
    // every pixel to four bytes (32 times a 1-bit image).
    const uint64_t imageBytes = direct ? uint64_t(w) * h * spp * (bps / 8) : uint64_t(w) * h * 4u;
    if (ok && !plausibleSize(imageBytes, size, direct ? 1500 : 48000)) {
        ok = false;
        why = "the TIFF file is too short for its image size";
    }
    if (ok && direct) {
        ok = im.allocate(int32_t(w), int32_t(h), spp, bps) && size_t(TIFFScanlineSize(tif)) == im.rowBytes();
        for (uint32_t y = 0; ok && y < h; ++y)
            ok = TIFFReadScanline(tif, im.data.data() + size_t(y) * im.rowBytes(), y, 0) >= 0;
        if (!ok) why = "the TIFF file is damaged";
    } else if (ok) {
        // Any other layout through libtiff's 8-bit RGBA reader.
        std::vector<uint32_t> raster;
        ok = im.allocate(int32_t(w), int32_t(h), 4, 8);
        if (ok) {
            raster.resize(size_t(w) * size_t(h));
            ok = TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0) != 0;
        }
        if (ok)
            for (size_t i = 0; i < raster.size(); ++i) {
                const uint32_t p = raster[i];
                im.data[i * 4 + 0] = uint8_t(TIFFGetR(p));
                im.data[i * 4 + 1] = uint8_t(TIFFGetG(p));
                im.data[i * 4 + 2] = uint8_t(TIFFGetB(p));
                im.data[i * 4 + 3] = uint8_t(TIFFGetA(p));
            }
        if (!ok) why = "unsupported or damaged TIFF file";
    }
    TIFFClose(tif);
    if (!ok) return fail(error, why + (tiffLastError.empty() ? "" : ": " + tiffLastError));
    out = std::move(im);
    return true;
}

#endif  // TV_NO_TIFF

// ---------------------------------------------------------------- PPM / PGM

// Reads one header number of a PNM file, skipping white space and comments.
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

bool decodePnm(const uint8_t* d, size_t n, Image& out, std::string* error) {
    if (n < 2 || d[0] != 'P' || (d[1] != '5' && d[1] != '6')) return fail(error, "not a binary PPM or PGM file");
    const int channels = d[1] == '6' ? 3 : 1;
    size_t pos = 2;
    int64_t w = 0, h = 0, maxval = 0;
    if (!pnmNumber(d, n, pos, w) || !pnmNumber(d, n, pos, h) || !pnmNumber(d, n, pos, maxval))
        return fail(error, "damaged PPM/PGM header");
    if (pos >= n || !std::isspace(d[pos])) return fail(error, "damaged PPM/PGM header");
    ++pos;
    if (!sizeAllowed(w, h)) return fail(error, "the PPM/PGM image is too large or empty");
    if (maxval < 1 || maxval > 65535) return fail(error, "bad PPM/PGM maximum value");
    const int depth = maxval < 256 ? 8 : 16;
    const size_t samples = size_t(w) * size_t(h) * size_t(channels);
    const size_t bytes = samples * (depth == 8 ? 1 : 2);
    if (n - pos < bytes) return fail(error, "the PPM/PGM file is truncated");
    Image im;
    if (!im.allocate(int32_t(w), int32_t(h), channels, depth)) return fail(error, "the PPM/PGM image is too large");
    for (size_t i = 0; i < samples; ++i) {
        uint32_t v = depth == 8 ? d[pos + i] : (uint32_t(d[pos + 2 * i]) << 8 | d[pos + 2 * i + 1]);
        v = std::min<uint32_t>(v, uint32_t(maxval));
        // Scale to the full range of the depth.
        const uint32_t full = depth == 8 ? 255u : 65535u;
        const uint32_t s = uint32_t((uint64_t(v) * full + uint64_t(maxval) / 2) / uint64_t(maxval));
        if (depth == 8) {
            im.data[i] = uint8_t(s);
        } else {
            const uint16_t s16 = uint16_t(s);
            std::memcpy(im.data.data() + 2 * i, &s16, 2);
        }
    }
    out = std::move(im);
    return true;
}

// ---------------------------------------------------------------- JPEG (read only)

bool decodeJpeg(const uint8_t* data, size_t size, Image& out, std::string* error) {
    jpeg::Header header;
    if (jpeg::readHeader(data, size, header) != jpeg::kOk) return fail(error, "not a readable JPEG file");
    if (header.components == 4) return fail(error, "CMYK JPEG files are not supported (use RGB or grey)");
    jpeg::DecodedImage decoded;
    const int rc = jpeg::decodeRgb(data, size, decoded, kMaxImageSide, size_t(kMaxImagePixels));
    if (rc == jpeg::kErrorTooLarge) return fail(error, "the JPEG image is too large");
    if (rc != jpeg::kOk) return fail(error, "the JPEG file is damaged");
    const int32_t channels = header.components == 1 ? 1 : 3;
    Image im;
    if (!im.allocate(decoded.width, decoded.height, channels, 8)) return fail(error, "the JPEG image is too large");
    const size_t pixels = size_t(decoded.width) * size_t(decoded.height);
    for (size_t i = 0; i < pixels; ++i)
        for (int32_t c = 0; c < channels; ++c) im.data[i * size_t(channels) + size_t(c)] = decoded.pixels[i * 3 + size_t(c)];
    out = std::move(im);
    return true;
}

}  // namespace

bool Image::allocate(int32_t w, int32_t h, int32_t c, int32_t d) {
    if (!sizeAllowed(w, h) || c < 1 || c > 4 || (d != 8 && d != 16 && d != 32)) return false;
    width = w;
    height = h;
    channels = c;
    depth = d;
    data.assign(rowBytes() * size_t(h), 0);
    return true;
}

float Image::sample(int32_t x, int32_t y, int32_t c) const {
    const size_t i = (size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c);
    if (depth == 8) return float(data[i]) / 255.0f;
    if (depth == 16) {
        uint16_t v;
        std::memcpy(&v, data.data() + 2 * i, 2);
        return float(v) / 65535.0f;
    }
    float v;
    std::memcpy(&v, data.data() + 4 * i, 4);
    return v;
}

ImageFormat formatForPath(const std::string& path) {
    const std::string ext = lower(platform::extensionOf(path));
    if (ext == ".png") return ImageFormat::Png;
    if (ext == ".tif" || ext == ".tiff") return ImageFormat::Tiff;
    if (ext == ".exr") return ImageFormat::Exr;
    if (ext == ".ppm") return ImageFormat::Ppm;
    if (ext == ".pgm") return ImageFormat::Pgm;
    if (ext == ".bmp") return ImageFormat::Bmp;
    if (ext == ".pfm") return ImageFormat::Pfm;
    return ImageFormat::Unknown;
}

ImageFormat formatForName(const std::string& name) {
    return name.empty() || name.find('.') != std::string::npos ? ImageFormat::Unknown : formatForPath("x." + name);
}

ImageFormat formatOfContent(const uint8_t* d, size_t n) {
    auto starts = [&](const char* magic, size_t len) { return n >= len && std::memcmp(d, magic, len) == 0; };
    if (starts("\x89PNG\r\n\x1a\n", 8)) return ImageFormat::Png;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4)) return ImageFormat::Tiff;
    if (starts("\x76\x2f\x31\x01", 4)) return ImageFormat::Exr;
    if (starts("\xff\xd8\xff", 3)) return ImageFormat::Jpeg;
    if (starts("P6", 2) && n > 2 && std::isspace(d[2])) return ImageFormat::Ppm;
    if (starts("P5", 2) && n > 2 && std::isspace(d[2])) return ImageFormat::Pgm;
    if (starts("BM", 2) && n >= 26) return ImageFormat::Bmp;
    if ((starts("PF", 2) || starts("Pf", 2)) && n > 2 && std::isspace(d[2])) return ImageFormat::Pfm;
    return ImageFormat::Unknown;
}

const char* formatName(ImageFormat f) {
    switch (f) {
        case ImageFormat::Png: return "PNG";
        case ImageFormat::Tiff: return "TIFF";
        case ImageFormat::Exr: return "OpenEXR";
        case ImageFormat::Ppm: return "PPM";
        case ImageFormat::Pgm: return "PGM";
        case ImageFormat::Jpeg: return "JPEG";
        case ImageFormat::Bmp: return "BMP";
        case ImageFormat::Pfm: return "PFM";
        default: return "unknown";
    }
}

bool formatAvailable(ImageFormat f) {
    switch (f) {
#ifdef TV_NO_PNG
        case ImageFormat::Png: return false;
#endif
#ifdef TV_NO_TIFF
        case ImageFormat::Tiff: return false;
#endif
#ifdef TV_NO_EXR
        case ImageFormat::Exr: return false;
#endif
        case ImageFormat::Unknown: return false;
        default: return true;
    }
}

bool formatSupportsDepth(ImageFormat f, int32_t depth, std::string* error) {
    if (f != ImageFormat::Unknown && !formatAvailable(f))
        return fail(error, std::string(formatName(f)) + " files are not supported by this build (use .ppm, .pgm, .bmp or .pfm)");
    switch (f) {
        case ImageFormat::Bmp:
            if (depth == 8) return true;
            return fail(error, "BMP files hold 8 bits per channel, not " + std::to_string(depth));
        case ImageFormat::Pfm:
            if (depth == 32) return true;
            return fail(error, "PFM files hold 32-bit float channels, not " + std::to_string(depth) + " bits");
        case ImageFormat::Png:
        case ImageFormat::Ppm:
        case ImageFormat::Pgm:
            if (depth == 8 || depth == 16) return true;
            return fail(error, std::string(formatName(f)) + " files hold 8 or 16 bits per channel, not " +
                                   std::to_string(depth));
        case ImageFormat::Tiff:
            if (depth == 8 || depth == 16 || depth == 32) return true;
            return fail(error, "TIFF files hold 8, 16 or 32 bits per channel, not " + std::to_string(depth));
        case ImageFormat::Exr:
            if (depth == 32) return true;
            return fail(error, "OpenEXR files hold 32-bit float channels, not " + std::to_string(depth) + " bits");
        case ImageFormat::Jpeg:
            return fail(error, "JPEG files are read, not written (use .png, .tif, .exr, .ppm or .pgm)");
        default:
            return fail(error, "unknown image file type (use .png, .tif, .exr, .ppm, .pgm, .bmp or .pfm)");
    }
}

bool decodeImage(const uint8_t* data, size_t size, ImageFormat f, Image& out, std::string* error) {
    if (!formatAvailable(f) && f != ImageFormat::Unknown)
        return fail(error, std::string(formatName(f)) + " files are not supported by this build");
    switch (f) {
#ifndef TV_NO_PNG
        case ImageFormat::Png: return decodePng(data, size, out, error);
#endif
#ifndef TV_NO_TIFF
        case ImageFormat::Tiff: return decodeTiff(data, size, out, error);
#endif
        case ImageFormat::Ppm:
        case ImageFormat::Pgm: return decodePnm(data, size, out, error);
        case ImageFormat::Jpeg: return decodeJpeg(data, size, out, error);
        case ImageFormat::Bmp: return decodeBmp(data, size, out, error);
        case ImageFormat::Pfm: return decodePfm(data, size, out, error);
        default: return fail(error, "cannot read this kind of image file (use .png, .tif, .jpg, .ppm, .pgm, .bmp or .pfm)");
    }
}

bool readImage(const std::string& path, Image& out, std::string* error) {
    std::vector<uint8_t> bytes;
    platform::clearLastError();
    if (platform::isFolder(path)) return fail(error, "cannot read \"" + path + "\": it is a folder");
    if (!platform::readFile(path, bytes, size_t(1) << 31)) {
        const std::string why = platform::lastErrorText();
        return fail(error, "cannot read \"" + path + "\"" + (why.empty() ? "" : ": " + why));
    }
    // The content decides; the extension only when the content says nothing.
    ImageFormat f = formatOfContent(bytes.data(), bytes.size());
    if (f == ImageFormat::Unknown) f = formatForPath(path);
    if (f == ImageFormat::Unknown || f == ImageFormat::Exr)
        return fail(error, "cannot read \"" + path + "\": " +
                               (f == ImageFormat::Exr ? std::string("OpenEXR files are written, not read")
                                                      : std::string("not a PNG, TIFF, JPEG, PPM, PGM, BMP or PFM image")) +
                               " (use a .png, .tif, .jpg, .ppm, .pgm, .bmp or .pfm file)");
    std::string why;
    if (!decodeImage(bytes.data(), bytes.size(), f, out, &why)) return fail(error, "\"" + path + "\": " + why);
    return true;
}

}  // namespace tv::cli
