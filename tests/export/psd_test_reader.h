// A reader for the layered documents we write, independent of the writer:
// walks every section by its own length fields and checks that they add up.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace tv::test {

struct ParsedLayer {
    int32_t top = 0, left = 0, bottom = 0, right = 0;
    std::vector<std::pair<int16_t, uint32_t>> channels;
    std::string name;
    uint8_t flags = 0;
    // channel id -> plane bytes
    std::map<int16_t, std::vector<uint8_t>> planes;
};

struct ParsedDocument {
    bool ok = false;
    std::string error;
    uint16_t channels = 0, depth = 0, mode = 0;
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> colourModeData;
    std::vector<std::string> tags;  // tagged blocks after the global mask
    std::vector<ParsedLayer> layers;
    std::vector<uint8_t> composite;  // after the compression word
};

inline bool fail(ParsedDocument& doc, const std::string& why) {
    doc.error = why;
    return false;
}

inline bool parseLayerInfo(ByteReader& r, size_t end, uint32_t bpc, ParsedDocument& doc) {
    uint16_t count;
    if (!r.u16(count)) return fail(doc, "no layer count");
    for (int i = 0; i < int16_t(count); ++i) {
        ParsedLayer l;
        uint32_t u;
        r.u32(u), l.top = int32_t(u);
        r.u32(u), l.left = int32_t(u);
        r.u32(u), l.bottom = int32_t(u);
        r.u32(u), l.right = int32_t(u);
        uint16_t nch;
        r.u16(nch);
        for (int c = 0; c < nch; ++c) {
            uint16_t id;
            uint32_t len;
            r.u16(id);
            r.u32(len);
            l.channels.push_back({int16_t(id), len});
        }
        char sig[9] = {};
        r.bytes(sig, 8);
        if (std::string(sig) != "8BIMnorm") return fail(doc, "bad blend signature");
        uint8_t opacity, clipping, filler;
        r.u8(opacity);
        r.u8(clipping);
        r.u8(l.flags);
        r.u8(filler);
        uint32_t extra;
        r.u32(extra);
        const size_t extraEnd = r.position() + extra;
        uint32_t maskLen, rangesLen;
        r.u32(maskLen);
        r.skip(maskLen);
        r.u32(rangesLen);
        if (rangesLen != 40) return fail(doc, "blending ranges");
        r.skip(rangesLen);
        uint8_t nameLen;
        r.u8(nameLen);
        std::string name(nameLen, '\0');
        r.bytes(name.data(), nameLen);
        l.name = name;
        if (!r.ok() || r.position() > extraEnd) return fail(doc, "layer record overruns");
        r.skip(extraEnd - r.position());
        doc.layers.push_back(l);
    }
    for (auto& l : doc.layers) {
        for (auto [id, len] : l.channels) {
            uint16_t compression;
            r.u16(compression);
            if (compression != 0) return fail(doc, "compressed channel");
            const uint64_t plane = uint64_t(l.right - l.left) * uint64_t(l.bottom - l.top) * bpc;
            if (len != plane + 2) return fail(doc, "channel length");
            std::vector<uint8_t> bytes(plane);
            r.bytes(bytes.data(), plane);
            l.planes[id] = std::move(bytes);
        }
    }
    if (!r.ok() || r.position() > end) return fail(doc, "layer information overruns");
    // Only zero padding may follow.
    while (r.position() < end) {
        uint8_t z;
        r.u8(z);
        if (z != 0) return fail(doc, "non-zero padding");
    }
    return true;
}

inline ParsedDocument parsePsd(const std::vector<uint8_t>& file) {
    ParsedDocument doc;
    ByteReader r(file);
    char sig[5] = {};
    r.bytes(sig, 4);
    uint16_t version;
    r.u16(version);
    r.skip(6);
    r.u16(doc.channels);
    r.u32(doc.height);
    r.u32(doc.width);
    r.u16(doc.depth);
    r.u16(doc.mode);
    if (std::string(sig) != "8BPS" || version != 1 || !r.ok()) return fail(doc, "header"), doc;
    const uint32_t bpc = doc.depth / 8;

    uint32_t len;
    r.u32(len);
    doc.colourModeData.resize(len);
    if (!r.bytes(doc.colourModeData.data(), len)) return fail(doc, "colour mode data"), doc;

    r.u32(len);
    const size_t resourcesEnd = r.position() + len;
    while (r.ok() && r.position() < resourcesEnd) {
        char rs[5] = {};
        r.bytes(rs, 4);
        uint16_t id, name;
        uint32_t size;
        r.u16(id);
        r.u16(name);
        r.u32(size);
        if (std::string(rs) != "8BIM" || name != 0) return fail(doc, "resource header"), doc;
        r.skip(size + size % 2);
    }
    if (!r.ok() || r.position() != resourcesEnd) return fail(doc, "resources overrun"), doc;

    r.u32(len);
    const size_t sectionEnd = r.position() + len;
    uint32_t infoLen;
    r.u32(infoLen);
    if (infoLen > 0) {
        if (infoLen % 2) return fail(doc, "odd layer information length"), doc;
        if (!parseLayerInfo(r, r.position() + infoLen, bpc, doc)) return doc;
    }
    uint32_t maskLen;
    r.u32(maskLen);
    r.skip(maskLen);
    while (r.ok() && r.position() < sectionEnd) {
        char ts[5] = {}, key[5] = {};
        r.bytes(ts, 4);
        r.bytes(key, 4);
        uint32_t blockLen;
        r.u32(blockLen);
        if (std::string(ts) != "8BIM") return fail(doc, "tagged block signature"), doc;
        doc.tags.push_back(key);
        const size_t blockEnd = r.position() + blockLen;
        if (std::string(key).starts_with("Lr")) {
            if (blockLen % 4) return fail(doc, "layer block not padded to 4"), doc;
            if (!parseLayerInfo(r, blockEnd, bpc, doc)) return doc;
        } else {
            r.skip(blockLen);
        }
        // Blocks other than the layer block may be followed by zero padding to 4.
        while (r.ok() && r.position() < sectionEnd && *r.current() == 0) r.skip(1);
    }
    if (!r.ok() || r.position() != sectionEnd) return fail(doc, "layer section overruns"), doc;

    uint16_t compression;
    r.u16(compression);
    if (compression != 0) return fail(doc, "compressed composite"), doc;
    doc.composite.assign(r.current(), r.current() + r.remaining());
    const uint64_t expected = uint64_t(doc.width) * doc.height * bpc * doc.channels;
    if (doc.composite.size() != expected) return fail(doc, "composite size"), doc;
    doc.ok = true;
    return doc;
}

}  // namespace tv::test
