// The layered document writer: every map of a planet as one layer of an
// RGB Photoshop document (version 1), written in five sections.
//
// Each section is written by one function that runs twice: once into a
// measuring sink that only counts bytes (so that lengths can be written
// before what they measure), then into the file. The layers' pixels come from
// a layer source, one layer at a time, so that only one layer is ever held in
// memory; the last layer rendered also serves for the composite image.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "render/engine.h"

namespace tv {

constexpr int32_t kPsdLayerCount = 11;
constexpr int32_t kPsdLayerChannels = 4;  // transparency, red, green, blue
constexpr int32_t kPsdMaxSide = 30000;    // the largest side a version-1 document holds
// The generic failure of an export whose buffers cannot be set up (a zero
// or oversized area, a layer source that delivers the wrong image).
constexpr int32_t kExportFailed = -99;

// Layer index 1..11 -> the output mode rendered for it ("lit map" .. "mural"),
// 0 for any other index.
int32_t psdLayerMode(int32_t index);

struct PsdDescription {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bytesPerChannel = 1;  // 1, 2 or 4
    int32_t layerCount = kPsdLayerCount;
    int32_t firstLayer = 0;  // loop layer i renders table row firstLayer + i + 1
    std::vector<uint8_t> iccProfile;  // the host's colour profile; empty: none
    std::string keywordList;          // further IPTC keywords, ';'-separated
    platform::CivilTime date{1970, 1, 1, 0, 0, 0};  // the IPTC creation date
};

// A description for an image of width x height at depthBits bits per channel
// (8, 16 or 32; anything else counts as 8), dated today.
PsdDescription psdDescription(int32_t width, int32_t height, int32_t depthBits);

// Delivers one layer: renders table row `index` (1..11) into image, which
// must come back as width x height x 4 interleaved channels (R, G, B, A) at
// the description's bytes per channel (8-bit 0..255, 16-bit 0..32768 native
// words, 32-bit native floats). Returns 0, or a code that ends the export.
struct PsdLayerSource {
    void* context = nullptr;
    int32_t (*renderLayer)(void* context, int32_t index, ExportImage& image) = nullptr;
};

// A byte sink that either counts (no file) or writes through a buffer into a
// file writer.
class PsdSink {
public:
    explicit PsdSink(platform::FileWriter* file = nullptr);
    ~PsdSink() = default;
    PsdSink(const PsdSink&) = delete;
    PsdSink& operator=(const PsdSink&) = delete;

    bool measuring() const { return file_ == nullptr; }
    uint64_t count() const { return count_; }
    bool ok() const { return ok_; }

    void u8(uint8_t v);
    void u16(uint16_t v);
    void i16(int16_t v) { u16(static_cast<uint16_t>(v)); }
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v);
    void bytes(const void* data, size_t n);
    void text(std::string_view s) { bytes(s.data(), s.size()); }
    void zeros(uint64_t n);
    // n bytes the caller fills; only when writing, n at most kBufferSize.
    uint8_t* reserve(size_t n);
    // Counts n bytes without producing them (measuring only).
    void count(uint64_t n) { count_ += n; }
    bool flush();

    static constexpr size_t kBufferSize = size_t(1) << 20;

private:
    platform::FileWriter* file_;
    std::vector<uint8_t> buffer_;
    uint64_t count_ = 0;
    bool ok_ = true;
};

// The sections, each into a measuring or a writing sink.
void writePsdHeader(PsdSink& sink, const PsdDescription& d);
void writePsdColourModeData(PsdSink& sink, const PsdDescription& d);
void writePsdImageResources(PsdSink& sink, const PsdDescription& d);
// Layer and mask information, rendering every layer while writing (nothing is
// rendered while measuring). `last` keeps the last layer rendered. Returns 0
// or the error that ended it.
int32_t writePsdLayerSection(PsdSink& sink, const PsdDescription& d, const PsdLayerSource& source,
                             ExportImage& last);
// The composite image: the last layer rendered, over a checkerboard for 8 and
// 16 bits, with exactly the header's channel count of planes.
void writePsdComposite(PsdSink& sink, const PsdDescription& d, const ExportImage& last);

// The header's channel count: 3 for 8- and 32-bit documents, 4 for 16-bit.
int32_t psdHeaderChannels(const PsdDescription& d);
// The layer name with its length byte, padded with zeros to a multiple of 4.
std::vector<uint8_t> psdPaddedName(std::string_view name);
// The whole document's size in bytes (a measuring run of every section).
uint64_t psdDocumentSize(const PsdDescription& d);

// Writes the document whole: into a temporary file beside `path` that
// replaces it only when complete (so an older, longer file leaves nothing
// behind, and a failed or cancelled export leaves the old file as it was).
// Returns 0, 99 when the file cannot be created, -20 on a write failure,
// kExportFailed when the buffers cannot be set up, or the layer source's code
// (-128 when the user cancelled).
int32_t writePsdDocument(const std::string& path, const PsdDescription& d, const PsdLayerSource& source);

}  // namespace tv
