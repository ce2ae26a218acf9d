// Image files of the command line: PNG, TIFF, OpenEXR, PPM/PGM, BMP and PFM, chosen
// by the file name's extension (a build without a codec's library, such as the
// Windows one, refuses that format with a clear message). Writers put the file in place whole (a temporary
// beside it, then a rename); readers check every size before they trust it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tv::cli {

enum class ImageFormat { Unknown, Png, Tiff, Exr, Ppm, Pgm, Bmp, Pfm, Jpeg };  // JPEG: read only

// Samples interleaved, rows top to bottom, in native byte order: bytes for
// depth 8, 16-bit integers 0..65535 for depth 16, floats for depth 32.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
    int32_t depth = 8;     // 8, 16 or 32 (float)
    std::vector<uint8_t> data;

    size_t sampleBytes() const { return depth == 8 ? 1 : (depth == 16 ? 2 : 4); }
    size_t rowBytes() const { return size_t(width) * size_t(channels) * sampleBytes(); }
    // Allocates zeroed samples; false for a size beyond the limits below.
    bool allocate(int32_t w, int32_t h, int32_t c, int32_t d);
    // Sample (x, y, c) as a float: 0..1 for integer depths, the value itself for floats.
    float sample(int32_t x, int32_t y, int32_t c) const;
};

// A 16-bit sample of the engine and of the host image (full scale 32768) on
// the files' scale (full scale 65535).
inline uint16_t fileSample16(uint16_t v) {
    return v >= 32768 ? 65535 : uint16_t((uint32_t(v) * 65535u + 16384u) / 32768u);
}

// Largest image the readers accept: each side and the pixel count.
constexpr int32_t kMaxImageSide = 1 << 16;
constexpr int64_t kMaxImagePixels = int64_t(1) << 28;
// Largest image written a band at a time (never held whole): 2^30 pixels,
// e.g. 32768 x 32768.
constexpr int64_t kMaxWrittenPixels = int64_t(1) << 30;

// ".png", ".tif"/".tiff", ".exr", ".ppm", ".pgm", ".bmp", ".pfm" (any letter case).
ImageFormat formatForPath(const std::string& path);
const char* formatName(ImageFormat format);
// "png", "tif"/"tiff", "exr", "ppm", "pgm" (--format); Unknown otherwise.
ImageFormat formatForName(const std::string& name);
// The type a file's first bytes announce (PNG, TIFF, OpenEXR, PPM, PGM, JPEG).
ImageFormat formatOfContent(const uint8_t* data, size_t size);

// Whether the format can hold an image of this depth; says why not.
bool formatSupportsDepth(ImageFormat format, int32_t depth, std::string* error);

// Encodes into bytes / decodes from bytes. False with a reason on failure.
bool encodeImage(const Image& image, ImageFormat format, std::vector<uint8_t>& out, std::string* error);
bool decodeImage(const uint8_t* data, size_t size, ImageFormat format, Image& out, std::string* error);

// An image file written a band of rows at a time, top to bottom, so that an
// image need never be held whole: into a file put in place whole by commit()
// (a temporary beside it until then), or into bytes in memory. Rows are in
// Image's layout. Destroying an uncommitted writer leaves no file and the
// target untouched.
class ImageWriter {
public:
    ImageWriter();
    ~ImageWriter();
    ImageWriter(const ImageWriter&) = delete;
    ImageWriter& operator=(const ImageWriter&) = delete;

    // The file's shape: channels 1 to 4 (PGM takes the first channel or the
    // luminance of RGB, PPM replicates grey), depth as the format allows.
    bool open(const std::string& path, ImageFormat format, int32_t width, int32_t height, int32_t channels,
              int32_t depth, std::string* error);
    bool openMemory(std::vector<uint8_t>& out, ImageFormat format, int32_t width, int32_t height, int32_t channels,
                    int32_t depth, std::string* error);
    // The next count rows (count x the row bytes of the shape).
    bool writeRows(const uint8_t* rows, int32_t count, std::string* error);
    // After the last row: ends the encoding and puts the file in place.
    bool commit(std::string* error);
    void abandon();
    int32_t rowsWritten() const;
    int32_t height() const;

    struct State;

private:
    State* state_ = nullptr;
};

// An image file read a band of rows at a time, top to bottom, so that a large
// source need never be held whole: PNG without interlacing, TIFF in strips of
// the usual layouts, PPM and PGM. Other files (interlaced PNG, tiled or
// unusual TIFF) are decoded whole when opened, within the readers' limits.
// Rows come in Image's layout (16-bit samples rescaled to 0..65535).
class ImageReader {
public:
    ImageReader();
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    bool open(const std::string& path, std::string* error);
    int32_t width() const;
    int32_t height() const;
    int32_t channels() const;
    int32_t depth() const;
    size_t rowBytes() const;
    bool streaming() const;  // false: the image was decoded whole
    // The next count rows.
    bool readRows(uint8_t* out, int32_t count, std::string* error);

    struct State;

private:
    State* state_ = nullptr;
};

// Writes the whole file or nothing. PGM takes the first channel (or the
// luminance of RGB); PPM replicates a grey image.
bool writeImage(const std::string& path, const Image& image, std::string* error);
// The same in the given format; path "-" is standard output.
bool writeImage(const std::string& path, ImageFormat format, const Image& image, std::string* error);
// Reads a PNG, TIFF, PPM, PGM, BMP, PFM or JPEG file, recognised by its content.
bool readImage(const std::string& path, Image& out, std::string* error);

// Whether this build has the library of a format.
bool formatAvailable(ImageFormat format);

}  // namespace tv::cli
