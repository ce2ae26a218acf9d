// Writes the seed corpora of the fuzz targets: small, sound inputs of every
// kind each parser reads, from which the fuzzer starts its mutations.
//
//   tool_fuzz_seeds DIR           writes DIR/TARGET/NAME (tests/fuzz/corpus)
//   tool_fuzz_seeds --check DIR   exits 1 when a file there differs or is missing
//
// Every seed is made by the product's own writers, so a changed format shows
// up in --check (run by the test suite) and is mended by running the tool.
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "clouds/catalogue.h"
#include "clouds/cloud_cache.h"
#include "clouds/gif_decoder.h"
#include "clouds/jpeg_memory.h"
#include "export/frame_gifs.h"
#include "host/pi/memory_descriptor.h"
#include "host/pi/module_file.h"
#include "host/pi/resources.h"
#include "host/scripting.h"
#include "params/fields.h"
#include "host_internal.h"
#include "image_io.h"
#include "json_writer.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "platform/netrc.h"
#include "settings_json.h"
#include "ui/replay.h"

namespace {

using namespace tv;
using Bytes = std::vector<uint8_t>;

struct Seed {
    std::string target, name;
    Bytes bytes;
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A picture with some structure: a disc on a gradient.
Bytes picture(int width, int height, int channels) {
    Bytes p(size_t(width) * size_t(height) * size_t(channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = 2 * x - width, dy = 2 * y - height;
            const bool disc = dx * dx + dy * dy < width * height / 2;
            for (int c = 0; c < channels; ++c)
                p[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)] =
                    uint8_t(disc ? 200 - 40 * c : (x * 255 / width + c * 60) & 255);
        }
    return p;
}

Bytes jpegOf(int width, int height, int quality) {
    const Bytes rgb = picture(width, height, 3);
    Bytes out(size_t(width) * size_t(height) * 6 + 1024);
    size_t n = 0;
    if (jpeg::encodeRgb(rgb.data(), width, height, quality, out.data(), out.size(), &n) != jpeg::kOk) return {};
    out.resize(n);
    return out;
}

// Settings files: the writer's version 40 with and without a picture, and the
// same words as the older versions whose layout is the current one shortened
// at the end (versions 17 to 39), one with an old raw picture.
void settingsSeeds(std::vector<Seed>& seeds) {
    ParamRecord r = defaultRecord();
    r.outputMode = 11;
    r.lightX = 0.57f;
    const Bytes v40 = persist::encodeSettings(r, nullptr);
    seeds.push_back({"settings_file", "v40", v40});
    RgbImage thumb(24, 24);
    thumb.pixels = picture(24, 24, 3);
    seeds.push_back({"settings_file", "v40-picture", persist::encodeSettings(r, &thumb)});
    auto shortened = [&](int32_t version, size_t dropWords) {
        Bytes b(v40.begin(), v40.end() - std::ptrdiff_t(dropWords * 4));
        b[0] = uint8_t(version >> 24), b[1] = uint8_t(version >> 16), b[2] = uint8_t(version >> 8),
        b[3] = uint8_t(version);
        return b;
    };
    seeds.push_back({"settings_file", "v39", shortened(39, 1)});
    seeds.push_back({"settings_file", "v30", shortened(30, 1)});
    seeds.push_back({"settings_file", "v24", shortened(24, 3)});
    seeds.push_back({"settings_file", "v17", shortened(17, 7)});
    // Version 22 with a 2 x 2 raw picture in the old block (its last word).
    Bytes v22 = shortened(22, 6);
    v22.resize(v22.size() - 4);
    ByteWriter old;
    old.i32(1), old.i32(2), old.i32(2);
    for (int i = 0; i < 12; ++i) old.u8(uint8_t(i * 20));
    v22.insert(v22.end(), old.data().begin(), old.data().end());
    seeds.push_back({"settings_file", "v22-picture", v22});

    seeds.push_back({"thumbnail", "24x24", jpegOf(24, 24, 99)});
    seeds.push_back({"thumbnail", "16x40", jpegOf(16, 40, 60)});
}

void imageSeeds(std::vector<Seed>& seeds) {
    // The image target's first byte picks the reader: PNG, TIFF, PPM/PGM, BMP, PFM, JPEG.
    struct Kind {
        const char* name;
        uint8_t selector;
        cli::ImageFormat format;
        int channels, depth;
    };
    const Kind kinds[] = {
        {"png-rgb8", 0, cli::ImageFormat::Png, 3, 8},     {"png-greyalpha16", 0, cli::ImageFormat::Png, 2, 16},
        {"tif-rgba8", 1, cli::ImageFormat::Tiff, 4, 8},   {"tif-grey32", 1, cli::ImageFormat::Tiff, 1, 32},
        {"ppm-rgb8", 2, cli::ImageFormat::Ppm, 3, 8},     {"pgm-grey16", 2, cli::ImageFormat::Pgm, 1, 16},
        {"bmp-rgba8", 3, cli::ImageFormat::Bmp, 4, 8},    {"bmp-rgb8", 3, cli::ImageFormat::Bmp, 3, 8},
        {"pfm-rgb32", 4, cli::ImageFormat::Pfm, 3, 32},
    };
    for (const Kind& k : kinds) {
        cli::Image im;
        if (!im.allocate(7, 5, k.channels, k.depth)) continue;
        const Bytes p = picture(7, 5, k.channels * int(im.sampleBytes()));
        if (k.depth == 32) {
            for (size_t i = 0; i < im.data.size() / 4; ++i) {
                const float v = float(p[i]) / 255.0f;
                std::memcpy(im.data.data() + i * 4, &v, 4);
            }
        } else {
            im.data = p;
        }
        Bytes file;
        std::string why;
        if (!cli::encodeImage(im, k.format, file, &why)) continue;
        file.insert(file.begin(), k.selector);
        seeds.push_back({"image_io", k.name, file});
    }
    Bytes jpeg = jpegOf(9, 6, 80);
    jpeg.insert(jpeg.begin(), 5);
    seeds.push_back({"image_io", "jpeg-rgb", jpeg});

    seeds.push_back({"jpeg", "40x24", jpegOf(40, 24, 90)});
    seeds.push_back({"jpeg", "8x8", jpegOf(8, 8, 30)});
    for (const FrameGif& g : frameGifs())
        seeds.push_back({"gif", g.name, Bytes(g.data, g.data + g.size)});
}

// The descriptor the module records for the defaults, through the host's suites.
Bytes recordedDescriptor() {
    pi::PIDescriptorParameters parameters{};
    parameters.descriptorParametersVersion = pi::kCurrentDescriptorParametersVersion;
    parameters.readDescriptorProcs = host::hostReadProcs();
    parameters.writeDescriptorProcs = host::hostWriteProcs();
    pi::FilterRecord record{};
    record.hostSig = pi::fourCC('8', 'B', 'I', 'M');
    record.handleProcs = host::hostHandleProcs();
    record.descriptorParameters = &parameters;
    writeScriptingParameters(&record, defaultRecord());
    Bytes bytes = host::handleBytes(parameters.descriptor);
    host::disposeHostHandle(parameters.descriptor);
    return bytes;
}

// A 64-bit module file holding nothing but a property list resource.
Bytes moduleFile() {
    const Bytes pipl = pi::buildPropertyList(pi::kCodeWin64X86);
    const uint32_t rva = 0x1000, fileAt = 0x200;
    // The resource section: three directory levels, the type's name, the data entry, the data.
    ByteWriter res;  // little-endian words, written by hand
    auto le16 = [&](uint32_t v) { res.u8(uint8_t(v)), res.u8(uint8_t(v >> 8)); };
    auto le32 = [&](uint32_t v) { le16(v & 0xFFFF), le16(v >> 16); };
    auto directory = [&](uint32_t named, uint32_t ids, uint32_t name, uint32_t target) {
        le32(0), le32(0), le16(0), le16(0), le16(named), le16(ids);
        le32(name), le32(target);
    };
    directory(1, 0, 0x80000000u | 72, 0x80000000u | 24);  // at 0: by name "PIPL"
    directory(0, 1, 16000, 0x80000000u | 48);            // at 24: id 16000
    directory(0, 1, 1033, 84);                           // at 48: language, then the data entry
    le16(4);                                             // at 72: "PIPL" in UTF-16
    for (char c : std::string("PIPL")) le16(uint8_t(c));
    res.zeros(2);
    le32(rva + 100), le32(uint32_t(pipl.size())), le32(0), le32(0);  // at 84
    res.bytes(pipl.data(), pipl.size());                               // at 100
    const uint32_t resSize = uint32_t(res.size());

    Bytes f(fileAt, 0);
    auto put16 = [&](size_t at, uint32_t v) { f[at] = uint8_t(v), f[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    f[0] = 'M', f[1] = 'Z';
    put32(0x3C, 0x40);
    put32(0x40, 0x00004550);                  // "PE\0\0"
    put16(0x44, 0x8664), put16(0x46, 1);      // machine, one section
    put16(0x54, 240), put16(0x56, 0x2022);    // optional header size, DLL
    const size_t optional = 0x58;
    put16(optional, 0x20B);
    put32(optional + 108, 16);                // data directories
    put32(optional + 112 + 16, rva), put32(optional + 112 + 20, resSize);
    const size_t section = optional + 240;
    std::memcpy(&f[section], ".rsrc", 5);
    put32(section + 8, resSize), put32(section + 12, rva), put32(section + 16, resSize), put32(section + 20, fileAt);
    f.insert(f.end(), res.data().begin(), res.data().end());
    return f;
}

void otherSeeds(std::vector<Seed>& seeds) {
    seeds.push_back({"descriptor", "defaults", recordedDescriptor()});
    seeds.push_back({"plugin_resources", "pipl", pi::buildPropertyList(pi::kCodeWin32X86)});
    seeds.push_back({"plugin_resources", "aete", pi::buildTerminology()});
    seeds.push_back({"module_file", "pipl-only-x64", moduleFile()});

    CloudMap map;
    if (createPyramid(map.pyramid, 19, 13, kFormatGrey8, kWrapClamp)) {
        for (int32_t y = 0; y < 13; ++y)
            for (int32_t x = 0; x < 19; ++x) setPixel(map.pyramid, 0, x, y, 0, float((x * 13 + y * 7) % 256));
        buildChain(map.pyramid);
        map.loaded = true;
        map.index = 4;
        map.width = 19, map.height = 13;
        map.discLeft = 1, map.discWidth = 17, map.discTop = 0, map.discHeight = 13;
        Bytes cache;
        if (encodeCloudCache(map, cache)) seeds.push_back({"cloud_cache", "19x13", cache});
    }

    CatalogueEntry entries[kListEntryCount];
    for (int i = 0; i < kListEntryCount; ++i) entries[i].valid = builtInEntry(i, entries[i]) && i != 3;
    Bytes list;
    if (encodeUrlList(entries, 7, list)) seeds.push_back({"url_list", "built-in", list});

    ParamRecord r = defaultRecord();
    r.outputMode = 12;
    std::snprintf(r.settingsName, sizeof r.settingsName, "%s", "Red \"Moon\"");
    seeds.push_back({"settings_json", "defaults", text(cli::settingsJson(r))});
    seeds.push_back({"settings_json", "assignment", text("land red=200")});
    seeds.push_back({"settings_json", "partial", text("{\"glue\": \"mural\", \"light x\": -0.5, \"sea color\": [1, 2, 65535]}")});

    // Events files of the dialog, as the edit tests and users write them.
    seeds.push_back({"replay_events", "edit", text("# a planet edited\ntype 37 30\ndrag @112:0.2,0.3 @112:0.8,0.6\n"
                                                   "click @52\nok\n")});
    seeds.push_back({"replay_events", "dialogs",
                     text("answer-file saved\nclick @26\nmove 5 5\nanswer-colour 255 255 255\nclick @7\n"
                          "key Ctrl+Z\ntimer\nclick @126 ctrl\nscreenshot shot.png\ncancel\n")});

    seeds.push_back({"netrc", "entries",
                     text("machine example.org login someone password secret\n"
                          "macdef init\ncd /\n\n"
                          "machine 127.0.0.1\n  login \"cirrus\"\n  password stratus\n"
                          "default login anonymous password guest@\n")});
}

// Whether the seed's own parser takes it whole (a seed that is refused
// teaches the fuzzer nothing about what lies beyond the refusal).
bool accepted(const Seed& s) {
    const uint8_t* d = s.bytes.data();
    const size_t n = s.bytes.size();
    std::string why;
    if (s.target == "settings_file") {
        ParamRecord r = defaultRecord();
        RgbImage picture;
        return persist::decodeSettings(d, n, persist::ReadMode::Load, &r, &picture) == platform::kFileOk;
    }
    if (s.target == "thumbnail" || s.target == "jpeg") {
        jpeg::DecodedImage image;
        return jpeg::decodeRgb(d, n, image) == jpeg::kOk;
    }
    if (s.target == "image_io") {
        const cli::ImageFormat formats[] = {cli::ImageFormat::Png, cli::ImageFormat::Tiff, cli::ImageFormat::Ppm,
                                            cli::ImageFormat::Bmp, cli::ImageFormat::Pfm, cli::ImageFormat::Jpeg};
        cli::Image image;
        return n > 1 && d[0] < 6 && cli::decodeImage(d + 1, n - 1, formats[d[0]], image, &why);
    }
    if (s.target == "gif") {
        GifImage image;
        return decodeGif(d, n, image) == GifStatus::Ok;
    }
    if (s.target == "descriptor") {
        pi::MemoryDescriptor descriptor;
        return pi::decodeDescriptor(d, n, descriptor) && descriptor.items.size() == size_t(kScriptKeyCount);
    }
    if (s.target == "plugin_resources") {
        pi::PropertyListInfo info;
        pi::Terminology terminology;
        return pi::parsePropertyList(d, n, info, &why) || pi::parseTerminology(d, n, terminology, &why);
    }
    if (s.target == "module_file") {
        const uint8_t* found = nullptr;
        size_t length = 0;
        pi::PropertyListInfo info;
        return pi::findModuleResource(d, n, "PIPL", 16000, found, length, &why) &&
               pi::parsePropertyList(found, length, info, &why);
    }
    if (s.target == "cloud_cache") {
        CloudMap map;
        return decodeCloudCache(d, n, -1, map) == kCacheOk;
    }
    if (s.target == "url_list") {
        CatalogueEntry entries[kListEntryCount];
        int32_t version = 0;
        return decodeUrlList(d, n, entries, version) == kCatalogueOk;
    }
    if (s.target == "settings_json") {
        ParamRecord r = defaultRecord();
        const std::string_view t(reinterpret_cast<const char*>(d), n);
        return cli::parseSettingsJson(t, r, &why) || cli::applySettingAssignment(r, t, &why);
    }
    if (s.target == "replay_events") {
        std::vector<ui::ReplayStep> steps;
        return ui::parseReplay(std::string_view(reinterpret_cast<const char*>(d), n), steps, &why);
    }
    if (s.target == "netrc") {
        platform::NetrcEntry entry;
        return platform::findNetrcEntry(std::string(s.bytes.begin(), s.bytes.end()), "127.0.0.1", entry) &&
               entry.login == "cirrus";
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: tool_fuzz_seeds [--check] DIR\n");
        return 2;
    }
    const std::string dir = argv[argc - 1];
    std::vector<Seed> seeds;
    settingsSeeds(seeds);
    imageSeeds(seeds);
    otherSeeds(seeds);

    int problems = 0;
    for (const Seed& s : seeds) {
        const std::string folder = platform::joinPath(dir, s.target);
        const std::string path = platform::joinPath(folder, s.name);
        if (s.bytes.empty() || !accepted(s)) {
            std::fprintf(stderr, "tool_fuzz_seeds: the seed %s could not be made whole\n", path.c_str());
            ++problems;
        } else if (check) {
            Bytes present;
            if (!platform::readFile(path, present, size_t(1) << 24) || present != s.bytes) {
                std::fprintf(stderr, "tool_fuzz_seeds: %s is missing or out of date (run tool_fuzz_seeds %s)\n",
                             path.c_str(), dir.c_str());
                ++problems;
            }
        } else if (!platform::createFolder(dir) || !platform::createFolder(folder) ||
                   platform::writeFileAtomic(path, s.bytes.data(), s.bytes.size()) != platform::kFileOk) {
            std::fprintf(stderr, "tool_fuzz_seeds: cannot write %s\n", path.c_str());
            ++problems;
        }
    }
    return problems == 0 ? 0 : 1;
}
