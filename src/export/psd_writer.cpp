#include "export/psd_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/bytes.h"
#include "export/metadata.h"
#include "params/params.h"
#include "render/render.h"

namespace tv {

namespace {

// The layers, bottom to top: the output mode rendered for table row i + 1.
constexpr int32_t kLayerModes[kPsdLayerCount] = {
    kModeLitMap,     kModeMapColor,  kModeLandColor, kModeLandBump, kModeBumpWithoutOcean, kModeOceanMask,
    kModeAirColor,   kModeCloudMask, kModeCloudBump, kModeCities,   kModeMural,
};

// A default print record, sixty 16-bit words.
constexpr int16_t kPrintRecord[60] = {
    40, 0,    72,   72,   0,    0,     743, 594, -9,   -9,   783, 603, 8194, 1320, 1020,  0, 0,     360, 360, 0,
    0,  3715, 2970, 372,  50,   2970,  18600, 75, 1,    257,  0,   1,   9999, 1,    1,     0, 0,     0,   0,   0,
    0,  0,    0,    0,    0,    1,     100, 768, 0,    0,    0,   515, 8369, 1024, 4608, 768, 17664, 0,  13892, 24864,
};

constexpr uint64_t kMaxSectionLength = std::numeric_limits<uint32_t>::max();

uint64_t roundUp(uint64_t n, uint64_t to) { return (n + to - 1) / to * to; }

// Writes a 32-bit length, then the body, then zeros up to a multiple of padTo.
// The body runs once into a measuring sink and once into the real one.
template <class Body>
void lengthPrefixed(PsdSink& sink, Body&& body, uint64_t padTo = 1) {
    PsdSink measure;
    body(measure);
    const uint64_t n = measure.count();
    const uint64_t padded = roundUp(n, padTo);
    sink.u32(static_cast<uint32_t>(std::min(padded, kMaxSectionLength)));
    if (sink.measuring()) {
        sink.count(padded);
        return;
    }
    body(sink);
    sink.zeros(padded - n);
}

void resource(PsdSink& sink, uint16_t id, const void* data, size_t n) {
    sink.text("8BIM");
    sink.u16(id);
    sink.u16(0);  // empty name
    sink.u32(static_cast<uint32_t>(n));
    sink.bytes(data, n);
    if (n % 2) sink.u8(0);
}

template <class Fill>
void resource(PsdSink& sink, uint16_t id, Fill&& fill) {
    ByteWriter w;
    fill(w);
    resource(sink, id, w.data().data(), w.size());
}

void taggedBlock(PsdSink& sink, const char (&key)[5], uint32_t length) {
    sink.text("8BIM");
    sink.text(std::string_view(key, 4));
    sink.u32(length);
}

// One copy of the HDR toning defaults (37 bytes).
void hdrToning(PsdSink& sink) {
    sink.u16(26724);  // "hd"
    sink.u16(29300);  // "rt"
    sink.u16(3);      // version
    static constexpr char kName[] = "Default";
    sink.u32(7);
    for (int i = 0; i < 7; ++i) sink.u16(static_cast<uint16_t>(kName[i]));
    sink.f32(0.0f);   // exposure
    sink.f32(1.0f);   // gamma
    sink.f32(16.0f);  // edge radius
    sink.u8(0);       // method: exposure and gamma
}

uint64_t planeBytes(const PsdDescription& d) {
    return uint64_t(d.width) * uint64_t(d.height) * uint64_t(d.bytesPerChannel);
}

std::string_view layerNameAt(const PsdDescription& d, int32_t i) { return layerName(d.firstLayer + i + 1); }

void layerRecord(PsdSink& sink, const PsdDescription& d, std::string_view name) {
    sink.i32(0);
    sink.i32(0);
    sink.i32(d.height);
    sink.i32(d.width);
    sink.u16(kPsdLayerChannels);
    const uint32_t channelLength = static_cast<uint32_t>(std::min(planeBytes(d) + 2, kMaxSectionLength));
    for (int16_t id : {int16_t(-1), int16_t(0), int16_t(1), int16_t(2)}) {
        sink.i16(id);
        sink.u32(channelLength);
    }
    sink.text("8BIM");
    sink.text("norm");
    sink.u8(255);                                    // opacity
    sink.u8(0);                                      // clipping
    sink.u8(d.bytesPerChannel == 4 ? 8 : 40);        // flags
    sink.u8(0);                                      // filler
    const std::vector<uint8_t> padded = psdPaddedName(name);
    sink.u32(static_cast<uint32_t>(padded.size() + 48));
    sink.u32(0);  // no layer mask
    sink.u32(40);  // blending ranges: five pairs
    static constexpr uint8_t kRange[8] = {0, 0, 255, 255, 0, 0, 255, 255};
    for (int i = 0; i < 5; ++i) sink.bytes(kRange, sizeof kRange);
    sink.bytes(padded.data(), padded.size());
}

// Sample c of pixel p as the file stores it in a layer channel.
inline void putSample(uint8_t* out, const uint8_t* pixels, size_t p, int c, int32_t bpc) {
    if (bpc == 1) {
        out[0] = pixels[p * 4 + size_t(c)];
    } else if (bpc == 2) {
        uint16_t v;
        std::memcpy(&v, pixels + (p * 4 + size_t(c)) * 2, 2);
        const uint32_t wide = v >= 32768 ? 65535u : uint32_t(v) * 2u;
        out[0] = uint8_t(wide >> 8);
        out[1] = uint8_t(wide);
    } else {
        uint32_t bits;
        std::memcpy(&bits, pixels + (p * 4 + size_t(c)) * 4, 4);
        out[0] = uint8_t(bits >> 24);
        out[1] = uint8_t(bits >> 16);
        out[2] = uint8_t(bits >> 8);
        out[3] = uint8_t(bits);
    }
}

// One plane (interleaved channel c) of the image, rows top to bottom.
void writePlane(PsdSink& sink, const PsdDescription& d, const ExportImage& image, int c) {
    const int32_t bpc = d.bytesPerChannel;
    const size_t rowBytes = size_t(d.width) * size_t(bpc);
    if (sink.measuring()) {
        sink.count(uint64_t(rowBytes) * uint64_t(d.height));
        return;
    }
    // Rows are written in pieces that fit the sink's buffer.
    const size_t pieceWidth = std::max<size_t>(1, PsdSink::kBufferSize / size_t(bpc) / 2);
    for (int32_t y = 0; y < d.height; ++y) {
        const size_t rowStart = size_t(y) * size_t(d.width);
        for (size_t x0 = 0; x0 < size_t(d.width); x0 += pieceWidth) {
            const size_t n = std::min(pieceWidth, size_t(d.width) - x0);
            uint8_t* out = sink.reserve(n * size_t(bpc));
            if (!out) return;
            for (size_t x = 0; x < n; ++x) putSample(out + x * size_t(bpc), image.pixels.data(), rowStart + x0 + x, c, bpc);
        }
    }
}

bool imageFits(const PsdDescription& d, const ExportImage& image) {
    return image.width == d.width && image.height == d.height && image.bytesPerChannel == d.bytesPerChannel &&
           image.pixels.size() >= uint64_t(d.width) * uint64_t(d.height) * 4u * uint64_t(d.bytesPerChannel);
}

// The layer count, the records and the channel data of every layer.
int32_t layerInformation(PsdSink& sink, const PsdDescription& d, const PsdLayerSource& source, ExportImage& last) {
    sink.i16(static_cast<int16_t>(d.layerCount));
    for (int32_t i = 0; i < d.layerCount; ++i) layerRecord(sink, d, layerNameAt(d, i));
    for (int32_t i = 0; i < d.layerCount; ++i) {
        if (!sink.measuring()) {
            if (!source.renderLayer) return kExportFailed;
            const int32_t rc = source.renderLayer(source.context, d.firstLayer + i + 1, last);
            if (rc != 0) return rc;
            if (!imageFits(d, last)) return kExportFailed;
        }
        for (int c : {3, 0, 1, 2}) {  // transparency, red, green, blue
            sink.u16(0);              // raw
            writePlane(sink, d, last, c);
        }
        if (!sink.ok()) return platform::kFileWriteError;
    }
    return 0;
}

}  // namespace

int32_t psdLayerMode(int32_t index) {
    return index >= 1 && index <= kPsdLayerCount ? kLayerModes[index - 1] : 0;
}

PsdDescription psdDescription(int32_t width, int32_t height, int32_t depthBits) {
    PsdDescription d;
    d.width = width;
    d.height = height;
    d.bytesPerChannel = depthBits == 16 ? 2 : (depthBits == 32 ? 4 : 1);
    d.date = platform::utcCivil(platform::unixTime());
    return d;
}

// ---- sink -------------------------------------------------------------------

PsdSink::PsdSink(platform::FileWriter* file) : file_(file) {
    if (file_) buffer_.reserve(kBufferSize);
}

bool PsdSink::flush() {
    if (file_ && ok_ && !buffer_.empty()) {
        ok_ = file_->write(buffer_.data(), buffer_.size());
    }
    buffer_.clear();
    return ok_;
}

uint8_t* PsdSink::reserve(size_t n) {
    count_ += n;
    if (!file_) return nullptr;
    if (n > kBufferSize) {
        ok_ = false;
        return nullptr;
    }
    if (buffer_.size() + n > kBufferSize && !flush()) return nullptr;
    if (!ok_) return nullptr;
    const size_t at = buffer_.size();
    buffer_.resize(at + n);
    return buffer_.data() + at;
}

void PsdSink::bytes(const void* data, size_t n) {
    if (!file_) {
        count_ += n;
        return;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const size_t piece = std::min(n, kBufferSize);
        uint8_t* out = reserve(piece);
        if (!out) return;
        std::memcpy(out, p, piece);
        p += piece;
        n -= piece;
    }
}

void PsdSink::zeros(uint64_t n) {
    if (!file_) {
        count_ += n;
        return;
    }
    while (n > 0) {
        const size_t piece = size_t(std::min<uint64_t>(n, kBufferSize));
        uint8_t* out = reserve(piece);
        if (!out) return;
        std::memset(out, 0, piece);
        n -= piece;
    }
}

void PsdSink::u8(uint8_t v) { bytes(&v, 1); }
void PsdSink::u16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    bytes(b, 2);
}
void PsdSink::u32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    bytes(b, 4);
}
void PsdSink::f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    u32(bits);
}

// ---- sections -----------------------------------------------------------------

int32_t psdHeaderChannels(const PsdDescription& d) { return d.bytesPerChannel == 2 ? 4 : 3; }

std::vector<uint8_t> psdPaddedName(std::string_view name) {
    if (name.size() > 255) name = name.substr(0, 255);
    std::vector<uint8_t> out(size_t(roundUp(name.size() + 1, 4)), 0);
    out[0] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), out.begin() + 1);
    return out;
}

void writePsdHeader(PsdSink& sink, const PsdDescription& d) {
    sink.text("8BPS");
    sink.u16(1);
    sink.zeros(6);
    sink.u16(static_cast<uint16_t>(psdHeaderChannels(d)));
    sink.u32(static_cast<uint32_t>(d.height));
    sink.u32(static_cast<uint32_t>(d.width));
    sink.u16(static_cast<uint16_t>(d.bytesPerChannel * 8));
    sink.u16(3);  // RGB
}

void writePsdColourModeData(PsdSink& sink, const PsdDescription& d) {
    if (d.bytesPerChannel != 4) {
        sink.u32(0);
        return;
    }
    lengthPrefixed(sink, [](PsdSink& s) {
        hdrToning(s);
        hdrToning(s);
    });
}

void writePsdImageResources(PsdSink& sink, const PsdDescription& d) {
    lengthPrefixed(sink, [&d](PsdSink& s) {
        resource(s, 1001, [](ByteWriter& w) {
            for (int16_t v : kPrintRecord) w.i16(v);
        });
        resource(s, 1005, [](ByteWriter& w) {
            for (int i = 0; i < 2; ++i) {
                w.u32(72u << 16);  // 72 dpi, 16.16 fixed point
                w.u16(1);
                w.u16(1);
            }
        });
        resource(s, 1011, [](ByteWriter& w) {
            w.zeros(8);
            w.u8(1);
        });
        resource(s, 1016, [](ByteWriter& w) {
            for (int f = 0; f < 4; ++f) {
                w.i16(0);
                for (int i = 0; i < 11; ++i) w.i16(-1);
                w.i16(1000);
                w.i16(0);  // no override
            }
        });
        resource(s, 1035, kProductWebAddress.data(), kProductWebAddress.size());
        if (!d.iccProfile.empty()) resource(s, 1039, d.iccProfile.data(), d.iccProfile.size());
        const std::vector<uint8_t> iptc = iptcBlock(d.keywordList, d.date);
        resource(s, 1028, iptc.data(), iptc.size());
        const std::vector<uint8_t> exif = exifBlock();
        resource(s, 1058, exif.data(), exif.size());
        resource(s, 1069, [](ByteWriter& w) {
            w.u16(1);
            w.u32(12);
        });
        resource(s, 1024, [&d](ByteWriter& w) { w.u16(static_cast<uint16_t>(d.layerCount)); });
        resource(s, 1026, [&d](ByteWriter& w) { w.zeros(size_t(d.layerCount) * 2); });
        resource(s, 1072, [&d](ByteWriter& w) {
            for (int32_t i = 0; i < d.layerCount; ++i) w.u8(1);
        });
    });
}

int32_t writePsdLayerSection(PsdSink& sink, const PsdDescription& d, const PsdLayerSource& source, ExportImage& last) {
    int32_t result = 0;
    auto information = [&](PsdSink& s) {
        const int32_t rc = layerInformation(s, d, source, last);
        if (rc != 0 && result == 0) result = rc;
    };
    lengthPrefixed(sink, [&](PsdSink& s) {
        if (d.bytesPerChannel == 1) {
            lengthPrefixed(s, information, 2);
            s.u32(0);  // global layer mask
            return;
        }
        const bool deep = d.bytesPerChannel == 4;
        s.u32(0);  // the layers live in the tagged block
        s.u32(0);  // global layer mask
        taggedBlock(s, deep ? "Mt32" : "Mt16", 0);
        s.text("8BIM");
        s.text(deep ? "Lr32" : "Lr16");
        lengthPrefixed(s, information, 4);
        if (deep) {
            taggedBlock(s, "LMsk", 14);
            s.u16(0);  // colour space
            s.i16(-1);
            s.u16(0);
            s.u16(0);
            s.u16(0);
            s.u16(50);  // opacity
            s.u8(128);
            s.u8(0);
            s.u16(0);  // padding to a multiple of 4
            taggedBlock(s, "Pat3", 0);
        }
    });
    if (result == 0 && !sink.ok()) result = platform::kFileWriteError;
    return result;
}

void writePsdComposite(PsdSink& sink, const PsdDescription& d, const ExportImage& last) {
    sink.u16(0);  // raw
    const int32_t planes = psdHeaderChannels(d);
    if (sink.measuring()) {
        sink.count(planeBytes(d) * uint64_t(planes));
        return;
    }
    if (d.bytesPerChannel == 4) {
        for (int c = 0; c < planes; ++c) writePlane(sink, d, last, c);
        return;
    }
    const bool wide = d.bytesPerChannel == 2;
    const size_t bpc = size_t(d.bytesPerChannel);
    for (int c = 0; c < planes; ++c) {
        for (int32_t y = 0; y < d.height; ++y) {
            uint8_t* out = sink.reserve(size_t(d.width) * bpc);
            if (!out) return;
            for (int32_t x = 0; x < d.width; ++x, out += bpc) {
                const size_t p = size_t(y) * size_t(d.width) + size_t(x);
                const bool dark = ((x & 8) ^ (y & 8)) != 0;
                if (!wide) {
                    const uint32_t a = last.pixels[p * 4 + 3];
                    const uint32_t v = last.pixels[p * 4 + size_t(c)];
                    out[0] = c == 3 ? uint8_t(a) : uint8_t((v * a + (dark ? 204u : 255u) * (255u - a)) / 255u);
                    continue;
                }
                uint16_t sample[4];
                std::memcpy(sample, last.pixels.data() + p * 8, 8);
                const uint32_t a = std::min<uint32_t>(sample[3], 32768);
                uint32_t v = std::min<uint32_t>(sample[c], 32768);
                if (c != 3) v = (v * a + (dark ? 26112u : 32640u) * (32768u - a)) >> 15;
                const uint32_t file = v >= 32768 ? 65535u : v * 2u;
                out[0] = uint8_t(file >> 8);
                out[1] = uint8_t(file);
            }
        }
    }
}

uint64_t psdDocumentSize(const PsdDescription& d) {
    PsdSink m;
    ExportImage none;
    writePsdHeader(m, d);
    writePsdColourModeData(m, d);
    writePsdImageResources(m, d);
    writePsdLayerSection(m, d, PsdLayerSource{}, none);
    writePsdComposite(m, d, none);
    return m.count();
}

int32_t writePsdDocument(const std::string& path, const PsdDescription& d, const PsdLayerSource& source) {
    if (d.width <= 0 || d.height <= 0 || d.width > kPsdMaxSide || d.height > kPsdMaxSide ||
        (d.bytesPerChannel != 1 && d.bytesPerChannel != 2 && d.bytesPerChannel != 4) || d.layerCount <= 0 ||
        d.layerCount > kPsdLayerCount || d.firstLayer < 0 || d.firstLayer + d.layerCount > kPsdLayerCount)
        return kExportFailed;
    // Every length must fit its 32-bit field.
    {
        PsdSink m;
        ExportImage none;
        writePsdLayerSection(m, d, PsdLayerSource{}, none);
        if (m.count() > kMaxSectionLength) return kExportFailed;
    }
    const uint64_t expected = psdDocumentSize(d);

    platform::FileWriter file;
    if (const int rc = file.open(path); rc != platform::kFileOk) return rc;
    PsdSink sink(&file);
    writePsdHeader(sink, d);
    writePsdColourModeData(sink, d);
    writePsdImageResources(sink, d);
    ExportImage last;
    if (const int32_t rc = writePsdLayerSection(sink, d, source, last); rc != 0) return rc;
    writePsdComposite(sink, d, last);
    if (!sink.flush()) return platform::kFileWriteError;
    if (sink.count() != expected) return kExportFailed;
    return file.commit();
}

}  // namespace tv
