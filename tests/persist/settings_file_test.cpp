// Settings files: the version-40 writer, the reader of every older version
// with its conversions, thumbnails, and files that must change nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "base/bytes.h"
#include "clouds/jpeg_memory.h"
#include "params/fields.h"
#include "persist/memory_dots.h"
#include "persist/session.h"
#include "persist/settings_file.h"
#include "persist/thumbnail.h"
#include "platform/files.h"

namespace tv {
namespace {

using persist::ReadMode;
using persist::ReadReport;

// Names of the settings fields in which a and b differ (the name aside).
std::string differences(const ParamRecord& a, const ParamRecord& b, std::initializer_list<const char*> ignore = {}) {
    std::string out;
    for (const RecordField& f : settingsFields()) {
        if (f.kind == FieldKind::Text) continue;
        bool skip = false;
        for (const char* n : ignore) skip = skip || std::strcmp(n, f.name) == 0;
        if (skip) continue;
        const size_t size = f.kind == FieldKind::Colour ? sizeof(Colour16) : 4;
        if (std::memcmp(reinterpret_cast<const char*>(&a) + f.offset, reinterpret_cast<const char*>(&b) + f.offset,
                        size) != 0)
            out += std::string(out.empty() ? "" : ", ") + f.name;
    }
    return out;
}

bool sameBytes(const ParamRecord& a, const ParamRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A record whose every setting differs from the defaults.
ParamRecord unusual() {
    ParamRecord r = defaultRecord();
    int32_t v = 3;
    for (const RecordField& f : settingsFields()) {
        char* p = reinterpret_cast<char*>(&r) + f.offset;
        switch (f.kind) {
        case FieldKind::Int:
        case FieldKind::Switch: *reinterpret_cast<int32_t*>(p) = v++; break;
        case FieldKind::Float: *reinterpret_cast<float*>(p) = 0.01f * float(v++); break;
        case FieldKind::Colour: *reinterpret_cast<Colour16*>(p) = {uint16_t(v * 601), uint16_t(v * 733), uint16_t(v * 977)}; ++v; break;
        case FieldKind::Text: break;
        }
    }
    r.outputMode = 9;
    setText(r.settingsName, "unusual");
    return r;
}

RgbImage gradientImage(int w, int h) {
    RgbImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.at(x, y);
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = uint8_t((x + y) * 255 / (w + h - 2));
        }
    return img;
}

int maxDifference(const RgbImage& a, const RgbImage& b) {
    if (a.width != b.width || a.height != b.height) return 256;
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) worst = std::max(worst, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    return worst;
}

// Words numbered from 1, as the format is described.
int32_t wordAt(const std::vector<uint8_t>& bytes, int index1) {
    ByteReader in(bytes.data() + size_t(index1 - 1) * 4, 4);
    int32_t v = 0;
    in.i32(v);
    return v;
}
void putWord(std::vector<uint8_t>& bytes, int index1, int32_t v) {
    ByteWriter w;
    w.i32(v);
    std::copy(w.data().begin(), w.data().end(), bytes.begin() + (index1 - 1) * 4);
}

// Builds a file word by word.
struct Words {
    std::vector<int32_t> w;
    Words& add(std::initializer_list<int32_t> values) {
        w.insert(w.end(), values);
        return *this;
    }
    std::vector<uint8_t> bytes() const {
        ByteWriter out;
        for (int32_t v : w) out.i32(v);
        return std::move(out.data());
    }
};

// The first 71 words of a version-40 file are the layout of versions 30 to 39.
std::vector<uint8_t> asVersion(const std::vector<uint8_t>& v40, int32_t version) {
    std::vector<uint8_t> out(v40.begin(), v40.begin() + 71 * 4);
    putWord(out, 1, version);
    return out;
}

int decode(const std::vector<uint8_t>& bytes, ParamRecord& r, RgbImage* thumbnail = nullptr,
           ReadReport* report = nullptr) {
    return persist::decodeSettings(bytes.data(), bytes.size(), ReadMode::Load, &r, thumbnail, report);
}

using SettingsFile = test::TempHome;

TEST_F(SettingsFile, DefaultsRoundTripWithLightZAsHundredths) {
    const ParamRecord defaults = defaultRecord();
    const auto bytes = persist::encodeSettings(defaults, nullptr);
    ParamRecord back = unusual();
    ASSERT_EQ(decode(bytes, back), platform::kFileOk);
    EXPECT_EQ(differences(defaults, back, {"light z", "spare color"}), "");
    EXPECT_EQ(back.lightZ, 0.27f);
    EXPECT_EQ(back.lightX, -0.68f);
    EXPECT_EQ(back.axisY, -1.0f);
    EXPECT_STREQ(back.settingsName, "unusual");  // the name is not in the file

    // Every other setting survives too, at the precision of its encoding.
    const ParamRecord odd = unusual();
    ParamRecord again = defaultRecord();
    ASSERT_EQ(decode(persist::encodeSettings(odd, nullptr), again), platform::kFileOk);
    EXPECT_EQ(differences(odd, again, {"light x", "light y", "light z", "axis x", "axis y", "axis z",
                                       "X center", "Y center"}),
              "");
    EXPECT_NEAR(again.axisZ, odd.axisZ, 0.0100001);
    EXPECT_NEAR(again.xCenter, odd.xCenter, 1.0 / 65536);
}

TEST_F(SettingsFile, WriterPutsEachValueInItsWord) {
    ParamRecord r = defaultRecord();
    r.cloudColor = {1, 2, 3};
    r.xCenter = 0.25f;
    r.yCenter = -0.5f;
    r.lightX = -0.999f;
    r.spareValue1 = 11;
    r.spareColor = {1, 2, 3};
    r.outputMode = kModeMural;
    const auto bytes = persist::encodeSettings(r, nullptr);
    ASSERT_EQ(bytes.size(), 72u * 4);  // 71 words and the thumbnail kind 0
    // Word number (1-based) and value: a few of every kind, light x
    // truncated toward zero, the centres x 65536.
    const std::pair<int, int32_t> expected[] = {
        {1, 40},  {2, 0x3B1C}, {11, 33}, {15, 65},  {17, 11},   {30, 4},   {31, 1},     {34, 1},
        {36, 3},  {37, 1},     {43, 12}, {44, 1},   {50, -99},  {52, 27},  {54, -100},  {56, 21},
        {58, 1},  {66, 0},     {67, 0x70A3}, {70, 16384}, {71, -32768}, {72, 0}};
    for (const auto& [word, value] : expected) EXPECT_EQ(wordAt(bytes, word), value) << "word " << word;
}

// How many words follow the version word in a file of version v.
int wordsOfVersion(int v) {
    int n = 9 + 15 + 5 + 6;
    n += v > 1 ? 6 : 0;
    n += v > 2 ? 2 : 0;
    n += v > 3 ? 3 : 0;
    n += v > 4 ? 2 : 0;
    n += v > 7 ? 6 : 0;
    n += (v > 11) + (v > 13) + (v > 15) + (v > 16);
    n += v > 17 ? 6 : 0;
    n += v > 21 ? 1 : 0;  // old picture block: none
    n += v > 22 ? 3 : 0;
    n += v > 29 ? 2 : 0;
    n += v > 39 ? 1 : 0;  // picture kind: none
    return n;
}

TEST_F(SettingsFile, EveryVersionReadsExactlyItsWordsAndOneShortIsTruncated) {
    for (int v = 1; v <= 40; ++v) {
        Words words;
        words.add({v});
        words.w.resize(size_t(1 + wordsOfVersion(v)), 0);
        ParamRecord r = unusual();
        ReadReport report;
        EXPECT_EQ(decode(words.bytes(), r, nullptr, &report), platform::kFileOk) << "version " << v;
        EXPECT_EQ(report.version, v);
        words.w.pop_back();
        ParamRecord before = unusual(), after = before;
        EXPECT_EQ(decode(words.bytes(), after, nullptr, &report), platform::kFileReadError) << "version " << v;
        EXPECT_TRUE(sameBytes(before, after)) << "version " << v;
        EXPECT_NE(report.message.find("truncated"), std::string::npos) << report.message;
    }
}

TEST_F(SettingsFile, VersionsTwelveAndSixConvertTheirValues) {
    Words f;
    f.add({12});
    f.add({0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x0100, 0x0200, 0x10300});  // land, air, sea
    f.add({33, 41, 42, 43, 44, 45, 46, 47, 48, 49, 51, 1, 1, 52, 20});  // air depth .. desert
    f.add({12, 53, 54, 55, 56});                                       // craters, cloud edges, spare 2
    f.add({0x1111, 0x1111, 0x1111, 0x7000, 0x7100, 0x7200});           // cloud color twice
    f.add({0xA, 0xB, 0xC, 80, 57, 1});                                 // spare color, land texture, coverage, luna
    f.add({11, 999, 60, 61, 1, 62, 30});  // output mode, a skipped word, cities, viscosity, lunar climate, ice, cloud texture
    f.add({10, -20, 97, 5, -99, 3, 1234});                             // light, axis, random seed
    const ParamRecord before = unusual();
    ParamRecord r = before;
    ASSERT_EQ(decode(f.bytes(), r), platform::kFileOk);
    EXPECT_EQ(r.seaColor, (Colour16{0x0100, 0x0200, 0x0300}));  // low 16 bits
    EXPECT_EQ(r.cloudTexture, 70);                               // 100 - 30
    EXPECT_EQ(r.landTexture, 35);                                // 70 x 50 / 100
    EXPECT_EQ(r.airDepth, 110);                                  // 33 / 0.3
    EXPECT_EQ(r.desert, 80);                                     // 100 - 20
    EXPECT_EQ(r.outputMode, kModeComposite);
    EXPECT_EQ(r.cloudColor, (Colour16{0x7000, 0x7100, 0x7200}));
    EXPECT_EQ(r.randomSeed, 1234);
    EXPECT_FLOAT_EQ(r.axisY, -0.99f);
    // What version 12 does not hold keeps what the record held.
    EXPECT_TRUE(r.cloudCoriolis == before.cloudCoriolis && r.desertColor == before.desertColor &&
                r.cityColor == before.cityColor && r.xCenter == before.xCenter);

    // The same words as version 6: cloud color from land, ice 100, air
    // brightness 50, real luna counted from 1; nothing of light or seed.
    Words six;
    six.add({6});
    six.w.insert(six.w.end(), f.w.begin() + 1, f.w.begin() + 1 + wordsOfVersion(6));
    ParamRecord s6 = before;
    ASSERT_EQ(decode(six.bytes(), s6), platform::kFileOk);
    EXPECT_EQ(s6.cloudColor, s6.landColor);
    EXPECT_EQ(s6.ice, 100);
    EXPECT_EQ(s6.airBrightness, 50);
    EXPECT_EQ(s6.realLuna, 2);
    EXPECT_EQ(s6.randomSeed, before.randomSeed);
}

TEST_F(SettingsFile, VersionsThirtyAndThirtyOneConvertLandColourAndOutputMode) {
    ParamRecord written = unusual();
    for (int32_t mode : {11, 5}) {
        written.outputMode = mode;
        const auto v40 = persist::encodeSettings(written, nullptr);

        ParamRecord r30 = defaultRecord();
        ASSERT_EQ(decode(asVersion(v40, 30), r30), platform::kFileOk);
        EXPECT_EQ(r30.landColor, (Colour16{0x1E1E, 0x3C3C, 0x1E1E}));
        EXPECT_EQ(r30.outputMode, mode == 11 ? kModeComposite : kModeNormal);
        EXPECT_EQ(differences(written, r30, {"land color", "output mode", "light x", "light y", "light z",
                                              "axis x", "axis y", "axis z", "X center", "Y center"}),
                  "");

        ParamRecord r31 = defaultRecord();
        ASSERT_EQ(decode(asVersion(v40, 31), r31), platform::kFileOk);
        EXPECT_EQ(r31.landColor, written.landColor);
        EXPECT_EQ(r31.outputMode, mode == 11 ? kModeComposite : kModeNormal);

        ParamRecord r32 = defaultRecord();
        ASSERT_EQ(decode(asVersion(v40, 32), r32), platform::kFileOk);
        EXPECT_EQ(r32.outputMode, mode);
    }
}

TEST_F(SettingsFile, ThumbnailIsA128SquareJpegThatAnIndependentDecoderReads) {
    const RgbImage source = gradientImage(200, 150);
    const std::string path = platform::workingFile("planet.q1q");
    ASSERT_EQ(persist::writeSettingsFile(path, defaultRecord(), &source), platform::kFileOk);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(platform::readFile(path, bytes));
    EXPECT_EQ(wordAt(bytes, 72), 1);
    EXPECT_EQ(wordAt(bytes, 73), 128);
    EXPECT_EQ(wordAt(bytes, 74), 128);
    const int32_t n = wordAt(bytes, 75);
    ASSERT_EQ(bytes.size(), 75u * 4 + size_t(n));
    const std::string jpg = platform::workingFile("extracted.jpg");
    ASSERT_TRUE(test::writeBytes(jpg, bytes.data() + 75 * 4, size_t(n)));
    std::string identified;
    EXPECT_EQ(test::runCommand("identify -format '%w %h %m' '" + jpg + "' 2>&1", &identified), 0);
    EXPECT_EQ(identified, "128 128 JPEG");

    ParamRecord r = defaultRecord();
    RgbImage thumbnail;
    ReadReport report;
    ASSERT_EQ(persist::readSettingsFile(path, ReadMode::Load, &r, &thumbnail, &report), platform::kFileOk);
    EXPECT_TRUE(report.thumbnailLoaded);
    EXPECT_LE(maxDifference(thumbnail, persist::scaleImage(source, 128, 128)), 12);

    // A busy picture still fits what a reader takes (49152 bytes).
    RgbImage noise(128, 128);
    std::mt19937 gen(5);
    for (auto& b : noise.pixels) b = uint8_t(gen());
    EXPECT_LE(wordAt(persist::encodeSettings(unusual(), &noise), 75), 49152);
}

TEST_F(SettingsFile, TruncatedForeignOrImpossibleFilesChangeNothing) {
    const RgbImage source = gradientImage(128, 128);
    const auto good = persist::encodeSettings(unusual(), &source);
    const RgbImage previous = gradientImage(20, 30);
    const ParamRecord before = defaultRecord();

    auto expectUnchanged = [&](const std::vector<uint8_t>& bytes, const std::string& what) {
        ParamRecord r = before;
        RgbImage thumbnail = previous;
        ReadReport report;
        EXPECT_EQ(decode(bytes, r, &thumbnail, &report), platform::kFileReadError) << what;
        EXPECT_TRUE(sameBytes(before, r)) << what;
        EXPECT_EQ(thumbnail.pixels, previous.pixels) << what;
        EXPECT_FALSE(report.message.empty()) << what;
    };
    for (size_t cut = 0; cut < good.size(); cut += (cut < 300 ? 1 : 97))
        expectUnchanged(std::vector<uint8_t>(good.begin(), good.begin() + cut), "cut at " + std::to_string(cut));
    expectUnchanged(std::vector<uint8_t>(good.begin(), good.end() - 1), "one byte short");

    const std::string png = "\x89PNG\r\n\x1a\n and the rest of a picture file, long enough to look like one";
    expectUnchanged(std::vector<uint8_t>(png.begin(), png.end()), "PNG");
    for (int32_t version : {0, 41, -1, 0x7FFFFFFF}) {
        auto bad = good;
        putWord(bad, 1, version);
        expectUnchanged(bad, "version " + std::to_string(version));
    }
    for (int32_t count : {-1, 0x7FFFFFFF, 49152 * 4}) {
        auto bad = good;
        putWord(bad, 75, count);
        expectUnchanged(bad, "picture byte count " + std::to_string(count));
    }

    // A missing file: open error, nothing changed.
    ParamRecord r = before;
    EXPECT_EQ(persist::readSettingsFile(platform::workingFile("absent.q1q"), ReadMode::Load, &r, nullptr),
              platform::kFileOpenError);
    EXPECT_TRUE(sameBytes(before, r));
}

TEST_F(SettingsFile, BrokenOrUnwantedPictureKeepsThePreviousThumbnailButLoadsTheSettings) {
    const RgbImage source = gradientImage(128, 128);
    const ParamRecord written = unusual();
    const auto good = persist::encodeSettings(written, &source);
    const RgbImage previous = gradientImage(20, 30);

    auto broken = good;  // the entropy-coded data replaced by noise
    std::mt19937 gen(9);
    for (size_t i = 75 * 4 + 700; i < broken.size() - 2; ++i) broken[i] = uint8_t(gen());
    auto headless = good;  // the stream's start marker gone
    headless[75 * 4] = 0;
    auto larger = good;    // a picture kind this reader does not know is skipped
    larger[71 * 4 + 3] = 2;

    for (const auto* bytes : {&broken, &headless, &larger}) {
        ParamRecord r = defaultRecord();
        RgbImage thumbnail = previous;
        ReadReport report;
        ASSERT_EQ(decode(*bytes, r, &thumbnail, &report), platform::kFileOk);
        EXPECT_FALSE(report.thumbnailLoaded);
        EXPECT_EQ(thumbnail.width, 20);
        EXPECT_EQ(thumbnail.pixels, previous.pixels);
        EXPECT_EQ(r.randomSeed, written.randomSeed);
    }
}

TEST_F(SettingsFile, OpenLoadsTheDefaultsFirstAndAFailedOpenChangesNothing) {
    // Open loads the defaults first: what an old file lacks comes from them.
    Words old;
    old.add({12});
    old.w.resize(size_t(1 + wordsOfVersion(12)), 40);
    const std::string path = platform::workingFile("old planet.q1q");
    const auto oldBytes = old.bytes();
    ASSERT_EQ(platform::writeFileAtomic(path, oldBytes.data(), oldBytes.size()), platform::kFileOk);
    ParamRecord r = unusual();
    StateBlock state{};
    ASSERT_EQ(persist::openPreset(path, r, &state), platform::kFileOk);
    EXPECT_STREQ(r.settingsName, "old planet.q1q");
    EXPECT_EQ(r.cloudCoriolis, 100);
    EXPECT_EQ(r.xCenter, 0.5f);
    EXPECT_EQ(r.cloudTexture, 60);
    EXPECT_EQ(state.thumbnail, nullptr);

    // A truncated file: Open changes nothing at all, not even to the defaults.
    const auto cut = std::vector<uint8_t>(oldBytes.begin(), oldBytes.end() - 4);
    ASSERT_EQ(platform::writeFileAtomic(path, cut.data(), cut.size()), platform::kFileOk);
    const ParamRecord before = unusual();
    ParamRecord s = before;
    EXPECT_EQ(persist::openPreset(path, s, &state), platform::kFileReadError);
    EXPECT_TRUE(sameBytes(before, s));
}

}  // namespace
}  // namespace tv
