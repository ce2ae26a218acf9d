// Reference renders: small renders that between them show every output mode
// and every visible rule, kept as checksums of their pixel bytes in
// reference_renders.txt. tool_refrender writes that file again and a contact
// sheet to look at; the test renders them on several thread counts.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "clouds/cloud_convert.h"
#include "render/render.h"
#include "synth/jobs.h"

namespace tv::reference {

// Where a case renders and what it shows besides its settings.
enum Kind : uint32_t {
    kExport = 0,      // an export image
    kGrey = 1,        // one colour plane: the luminance
    kHost = 2,        // into a host image over a picture
    kLayer = 4,       // the host image has editable transparency
    kMask = 8,        // the host passes a selection mask
    kSatellite = 16,  // real clouds from a test disc
};

struct Case {
    const char* name;
    int32_t width, height, depth;  // depth 8, 16 or 32 bits
    uint32_t kind;
    void (*settings)(ParamRecord&);
};

inline void light(ParamRecord& r, float x, float y, float z) {
    r.lightX = x;
    r.lightY = y;
    r.lightZ = z;
}

// clang-format off
inline const Case kCases[] = {
    {"globe 8-bit", 96, 96, 8, kExport, [](ParamRecord&) {}},
    {"globe 16-bit", 96, 96, 16, kExport, [](ParamRecord&) {}},
    {"globe 32-bit", 96, 96, 32, kExport, [](ParamRecord&) {}},
    {"grey globe", 96, 96, 8, kGrey, [](ParamRecord& r) { r.randomSeed = 7; }},
    {"light from the right, cities, sunset", 96, 96, 16, kExport, [](ParamRecord& r) {
        light(r, 0.6f, 0.3f, 0.74161985f); r.cities = 80; r.sunset = 100; r.cityColor = {0xFF00, 0x8000, 0x2000}; }},
    {"light from behind, a little aside", 96, 96, 16, kExport, [](ParamRecord& r) {
        light(r, 0.25f, 0.18f, 0.9513f); r.backlighting = 1; r.sunset = 100; r.airDepth = 60; r.airBrightness = 60; }},
    {"light from the viewer, sea and ice", 96, 96, 16, kExport, [](ParamRecord& r) {
        light(r, 0.0f, 0.0f, 1.0f); r.seaLevel = 75; r.ice = 70; r.cloudCoverage = 35;
        r.iceColor = {0xC000, 0xE000, 0xFF00}; r.seaColor = {0x1000, 0x6000, 0x5000}; }},
    {"light from above, storms", 96, 96, 16, kExport, [](ParamRecord& r) {
        light(r, 0.0f, -0.8f, 0.6f); r.stormCount = 40; r.stormSize = 70; r.stormSwirl = 100; r.cloudCoverage = 60;
        r.cloudShadows = 100; r.cloudTexture = 90; r.cloudColor = {0xF000, 0xE000, 0xFF00}; }},
    {"craters and deserts", 96, 96, 16, kExport, [](ParamRecord& r) {
        r.craterCount = 90; r.craterSize = 70; r.craterTexture = 90; r.desert = 80; r.landTexture = 80;
        r.cloudCoverage = 20; r.desertColor = {0xF000, 0xA000, 0x6000}; }},
    {"real luna", 96, 96, 16, kExport, [](ParamRecord& r) {
        r.realLuna = 1; r.lunarClimate = 1; r.cloudCoverage = 0; r.airDepth = 0; r.landColor = {0xB000, 0xB000, 0xA800}; }},
    {"lunar climate", 96, 96, 16, kExport, [](ParamRecord& r) { r.lunarClimate = 1; r.landColor = {0xA000, 0x9000, 0x8000}; }},
    {"satellite clouds", 96, 96, 16, kSatellite, [](ParamRecord& r) { light(r, 0.0f, 0.0f, 1.0f); }},
    {"unlit globe (mode 0)", 96, 96, 8, kExport, [](ParamRecord& r) {
        r.outputMode = 0; light(r, 0.0f, 0.0f, 1.0f); r.backlighting = 1; }},
    {"small planet off centre, tilted axis", 128, 96, 8, kExport, [](ParamRecord& r) {
        r.planetSize = 40; r.xCenter = 0.3f; r.yCenter = 0.6f; r.axisX = 0.6f; r.axisY = -0.8f; }},
    {"composite over a picture, 8-bit", 96, 96, 8, kHost, [](ParamRecord& r) { r.outputMode = kModeComposite; }},
    {"composite over a picture, 32-bit", 96, 96, 32, kHost, [](ParamRecord& r) { r.outputMode = kModeComposite; }},
    {"composite on a layer, 16-bit", 96, 96, 16, kHost | kLayer, [](ParamRecord& r) { r.outputMode = kModeComposite; }},
    {"composite on a layer, 32-bit", 96, 96, 32, kHost | kLayer, [](ParamRecord& r) { r.outputMode = kModeComposite; }},
    {"selection, 8-bit", 96, 96, 8, kHost | kMask, [](ParamRecord&) {}},
    {"selection on a grey layer, 16-bit", 96, 96, 16, kHost | kLayer | kMask | kGrey, [](ParamRecord&) {}},
    {"lit map", 128, 64, 8, kExport, [](ParamRecord& r) { r.outputMode = kModeLitMap; r.cities = 60; }},
    {"map color, tilted axis", 128, 64, 16, kExport, [](ParamRecord& r) {
        r.outputMode = kModeMapColor; r.axisX = 0.6f; r.axisY = -0.8f; }},
    {"land color", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeLandColor; }},
    {"land bump", 128, 64, 8, kExport, [](ParamRecord& r) { r.outputMode = kModeLandBump; }},
    {"ocean mask", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeOceanMask; r.ice = 45; }},
    {"air color", 128, 64, 16, kExport, [](ParamRecord& r) {
        r.outputMode = kModeAirColor; r.airColor = {0x8000, 0x6000, 0xC000}; r.sunset = 100; }},
    {"cloud mask", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeCloudMask; }},
    {"cloud bump", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeCloudBump; }},
    {"cities", 128, 64, 8, kExport, [](ParamRecord& r) { r.outputMode = kModeCities; r.cities = 100; }},
    {"mural", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeMural; }},
    {"hypsometric", 128, 64, 16, kExport, [](ParamRecord& r) { r.outputMode = kModeHypsometric; }},
    {"bump w/o ocean", 128, 64, 32, kExport, [](ParamRecord& r) { r.outputMode = kModeBumpWithoutOcean; }},
    {"satellite cloud mask", 128, 64, 16, kSatellite, [](ParamRecord& r) { r.outputMode = kModeCloudMask; }},
    {"lit map over six tiles, 32-bit", 520, 260, 32, kExport, [](ParamRecord& r) {
        r.outputMode = kModeLitMap; r.cities = 70; r.stormCount = 30; r.stormSwirl = 80; }},
};
// clang-format on

// A test disc of clouds for the real-clouds cases: grey cloud over a black
// sky, a bright patch in its north-west and a dim bar in its south-east
// (as the picture shows them: north up, east right).
inline CloudMap testDisc() {
    CloudMap map;
    const int32_t w = 128, h = 120;
    createPyramid(map.pyramid, w, h, kFormatGrey8, kWrapClamp);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const float dx = (x + 0.5f - 64.0f) / 60.0f, dy = (y + 0.5f - 60.0f) / 58.0f;
            int v = dx * dx + dy * dy < 1.0f ? 10 + (x * 7 + y * 13) % 40 : 0;
            if ((x - 36) * (x - 36) + (y - 32) * (y - 32) < 150) v = 250;  // north-west
            if (x > 80 && x < 104 && y > 86 && y < 94) v = 160;           // south-east
            setPixel(map.pyramid, 0, x, y, 0, float(v));
        }
    map.pyramid.state = 1;
    buildChain(map.pyramid);
    map.width = w;
    map.height = h;
    map.discLeft = 4;
    map.discWidth = 120;
    map.discTop = 2;
    map.discHeight = 116;
    normaliseDisc(map);
    map.loaded = true;
    map.index = 3;
    return map;
}

// The rendered image: RGBA, rows top to bottom, 1, 2 or 4 bytes a sample
// (8-bit 0..255, 16-bit 0..32768, floats), as the host or export stores it.
struct Image {
    int32_t width = 0, height = 0, bytesPerChannel = 1;
    std::vector<uint8_t> bytes;
    int32_t result = 0;
};

// A host image in memory, stored as the host stores its samples.
struct MemoryHost {
    const Case* c = nullptr;
    Image* out = nullptr;

    static int32_t setUp(void* context, int32_t destination, RenderTarget& t) {
        const Case& c = *static_cast<MemoryHost*>(context)->c;
        t.depthBits = c.depth;
        t.grey = c.kind & kGrey;
        t.hasTransparency = c.kind & kLayer;
        t.hasMask = c.kind & kMask;
        t.floatUnclamped = t.depthBits == 32 && destination == kDestinationHost;
        t.area = {0, 0, c.height, c.width};
        t.fullWidth = c.width;
        t.fullHeight = c.height;
        return 0;
    }
    static int32_t request(void*, const Rect&) { return 0; }
    // The picture under the planet: a colour ramp with a checkerboard, beyond
    // white at 32 bits; on a layer a transparency that rises to the right.
    static void read(void* context, int32_t x, int32_t y, float rgba[4]) {
        const Case& c = *static_cast<MemoryHost*>(context)->c;
        rgba[0] = (c.depth == 32 ? 2.5f : 1.0f) * float(x) / float(c.width);
        rgba[1] = float(y) / float(c.height);
        rgba[2] = ((x / 12 + y / 12) & 1) ? 0.8f : 0.2f;
        if (c.kind & kGrey) rgba[0] = rgba[1] = rgba[2] = 0.3f * rgba[0] + 0.59f * rgba[1] + 0.11f * rgba[2];
        rgba[3] = c.kind & kLayer ? 0.3f + 0.5f * float(x) / float(c.width) : 1.0f;
    }
    // The left half selected, fading out over a fifth of the width.
    static float mask(void* context, int32_t x, int32_t) {
        const float w = float(static_cast<MemoryHost*>(context)->c->width);
        return std::nearbyint(std::clamp((0.7f * w - float(x)) / (0.2f * w), 0.0f, 1.0f) * 255.0f) / 255.0f;
    }
    static void store(void* context, int32_t x, int32_t y, const float rgba[4]) {
        const auto* h = static_cast<MemoryHost*>(context);
        Image& im = *h->out;
        uint8_t* at = im.bytes.data() + (size_t(y) * size_t(im.width) + size_t(x)) * 4 * size_t(im.bytesPerChannel);
        for (int c = 0; c < 4; ++c) {
            const float v = (h->c->kind & kGrey) && c < 3 ? rgba[1] : rgba[c];
            if (im.bytesPerChannel == 1) {
                at[c] = uint8_t(std::clamp(std::nearbyint(v * 255.0f), 0.0f, 255.0f));
            } else if (im.bytesPerChannel == 2) {
                const uint16_t s = uint16_t(std::clamp(std::nearbyint(v * 32768.0f), 0.0f, 32768.0f));
                std::memcpy(at + 2 * c, &s, 2);
            } else {
                std::memcpy(at + 4 * c, &v, 4);
            }
        }
    }
};

// Renders one case with the given number of worker threads (0: the machine's).
inline Image render(const Case& c, int32_t threads) {
    ParamRecord params = defaultRecord();
    c.settings(params);
    if (c.kind & kSatellite) {
        params.realClouds = 1;
        params.lastCloudImage = -1;
        params.downloadedClouds = 3;
    }
    StateBlock state{};
    Engine engine;
    initEngine(engine, &params, &state);
    if (c.kind & kSatellite) engine.cloudMap = testDisc();
    setForcedThreadCount(threads);
    Image out;
    if (c.kind & kHost) {
        out.width = c.width;
        out.height = c.height;
        out.bytesPerChannel = c.depth / 8;
        out.bytes.assign(size_t(c.width) * size_t(c.height) * 4 * size_t(out.bytesPerChannel), 0);
        MemoryHost host{&c, &out};
        HostBridge bridge;
        bridge.context = &host;
        bridge.setUpPlanes = MemoryHost::setUp;
        bridge.requestTile = MemoryHost::request;
        bridge.readSource = MemoryHost::read;
        if (c.kind & kMask) bridge.readMask = MemoryHost::mask;
        bridge.store = MemoryHost::store;
        engine.host = &bridge;
        out.result = renderFinal(engine);
    } else {
        ExportImage image;
        image.grey = (c.kind & kGrey) != 0;
        out.result = renderToExportImage(engine, image, c.width, c.height, c.depth / 8);
        out.width = image.width;
        out.height = image.height;
        out.bytesPerChannel = image.bytesPerChannel;
        out.bytes = std::move(image.pixels);
    }
    setForcedThreadCount(0);
    return out;
}

// 64-bit FNV-1a of the bytes, with the size in front.
inline uint64_t checksum(const Image& im) {
    uint64_t h = 14695981039346656037ull;
    auto add = [&h](uint8_t b) {
        h ^= b;
        h *= 1099511628211ull;
    };
    for (int32_t v : {im.width, im.height, im.bytesPerChannel})
        for (int i = 0; i < 4; ++i) add(uint8_t(uint32_t(v) >> (8 * i)));
    for (uint8_t b : im.bytes) add(b);
    return h;
}

inline std::string hex(uint64_t v) {
    char s[17];
    std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(v));
    return s;
}

// The checksums file: "checksum  name" per line, '#' starts a comment.
inline std::map<std::string, std::string> readChecksums(const std::string& path) {
    std::map<std::string, std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.size() < 18) continue;
        out[line.substr(18)] = line.substr(0, 16);
    }
    return out;
}

// Renders every case and compares it with its checksum: the names of the
// cases that differ, with what they gave ("" when all match).
inline std::string mismatches(const std::string& checksumsPath, int32_t threads) {
    const auto expected = readChecksums(checksumsPath);
    std::string out;
    for (const Case& c : kCases) {
        const Image im = render(c, threads);
        const auto it = expected.find(c.name);
        const std::string got = im.result == 0 ? hex(checksum(im)) : "failed " + std::to_string(im.result);
        if (it == expected.end() || it->second != got) out += std::string(c.name) + ": " + got + "\n";
    }
    return out;
}

}  // namespace tv::reference
