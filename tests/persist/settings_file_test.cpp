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
    // word number (1-based) -> value: version, 16-bit land red, air depth,
    // planet size, spare value 1, spare value 2, cloud colour twice, spare
    // colour, the output mode and constants, light x truncated toward zero,
    // axis y, the random seed, the old picture block, city colour, the centres
    // x 65536, and no picture.
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

TEST_F(SettingsFile, VersionTwelveConvertsItsValues) {
    Words f;
    f.add({12});
    f.add({0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x0100, 0x0200, 0x10300});  // land, air, sea
    f.add({33, 41, 42, 43, 44, 45, 46, 47, 48, 49, 51, 1, 1, 52, 20});  // air depth .. desert
    f.add({12, 53, 54, 55, 56});                                       // craters, cloud edges, spare 2
    f.add({0x1111, 0x1111, 0x1111, 0x7000, 0x7100, 0x7200});           // cloud color twice
    f.add({0xA, 0xB, 0xC, 80, 57, 1});                                 // spare color, land texture, coverage, luna
    f.add({11, 999});                                                  // output mode, skipped word
    f.add({60, 61, 1});                                                // cities, viscosity, lunar climate
    f.add({62, 30});                                                   // ice, cloud texture
    f.add({10, -20, 97, 5, -99, 3});                                   // light, axis
    f.add({1234});                                                     // random seed
    const ParamRecord before = unusual();
    ParamRecord r = before;
    ASSERT_EQ(decode(f.bytes(), r), platform::kFileOk);
    EXPECT_EQ(r.seaColor, (Colour16{0x0100, 0x0200, 0x0300}));  // low 16 bits
    EXPECT_EQ(r.cloudTexture, 70);       // 100 - 30
    EXPECT_EQ(r.landComplexity, 57);
    EXPECT_EQ(r.craterCount, 0);
    EXPECT_EQ(r.landTexture, 35);        // 70 x 50 / 100
    EXPECT_EQ(r.cities, 0);
    EXPECT_EQ(r.airDepth, 110);          // 33 / 0.3
    EXPECT_EQ(r.desert, 80);             // 100 - 20
    EXPECT_EQ(r.outputMode, kModeComposite);
    EXPECT_EQ(r.realLuna, 1);
    EXPECT_EQ(r.cloudColor, (Colour16{0x7000, 0x7100, 0x7200}));
    EXPECT_EQ(r.airBrightness, 51);
    EXPECT_EQ(r.ice, 62);
    EXPECT_EQ(r.randomSeed, 1234);
    EXPECT_FLOAT_EQ(r.lightY, -0.2f);
    EXPECT_FLOAT_EQ(r.axisY, -0.99f);
    // What version 12 does not hold keeps what the record held.
    EXPECT_EQ(r.cloudCoriolis, before.cloudCoriolis);
    EXPECT_EQ(r.downloadedClouds, before.downloadedClouds);
    EXPECT_EQ(r.desertColor, before.desertColor);
    EXPECT_EQ(r.cityColor, before.cityColor);
    EXPECT_EQ(r.xCenter, before.xCenter);

    // The same words as version 6: cloud color from land, ice 100, air
    // brightness 50, real luna counted from 1; and nothing of light or seed.
    Words six;
    six.add({6});
    six.w.insert(six.w.end(), f.w.begin() + 1, f.w.begin() + 1 + wordsOfVersion(6));
    ParamRecord s = before;
    ASSERT_EQ(decode(six.bytes(), s), platform::kFileOk);
    EXPECT_EQ(s.cloudColor, s.landColor);
    EXPECT_EQ(s.ice, 100);
    EXPECT_EQ(s.airBrightness, 50);
    EXPECT_EQ(s.realLuna, 2);
    EXPECT_EQ(s.landTexture, 35);  // 0 then 50, times cloud texture 70 / 100
    EXPECT_EQ(s.lightX, before.lightX);
    EXPECT_EQ(s.randomSeed, before.randomSeed);
}

TEST_F(SettingsFile, OldConversionsOfExtremeWordsStayInsideAWord) {
    // A file of version v with zero words but for the given ones (numbered
    // after the version word: desert 24, land texture 39, real luna 41, cloud
    // texture 48).
    auto file = [](int32_t v, std::initializer_list<std::pair<size_t, int32_t>> values) {
        Words f;
        f.add({v});
        f.w.resize(size_t(1 + wordsOfVersion(v)), 0);
        for (const auto& [at, value] : values) f.w[at] = value;
        return f.bytes();
    };
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
    ParamRecord r = defaultRecord();
    ASSERT_EQ(decode(file(24, {{39, 100000}, {48, 100000}}), r), platform::kFileOk);
    EXPECT_EQ(r.landTexture, 100000000);  // 100000 x 100000 / 100
    ASSERT_EQ(decode(file(24, {{39, kMax}, {48, kMin}}), r), platform::kFileOk);
    EXPECT_EQ(r.landTexture, kMin);
    ASSERT_EQ(decode(file(10, {{24, kMin}, {41, kMax}, {48, kMin}}), r), platform::kFileOk);
    EXPECT_EQ(r.desert, kMax);
    EXPECT_EQ(r.realLuna, kMax);
    EXPECT_EQ(r.cloudTexture, kMax);
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

TEST_F(SettingsFile, OldPictureBlockIsReadOrSkippedByItsOwnSize) {
    const ParamRecord written = unusual();
    const auto v40 = persist::encodeSettings(written, nullptr);
    // Version 31 with a 2 x 3 picture in the old block (word 66).
    std::vector<uint8_t> file(v40.begin(), v40.begin() + 65 * 4);
    file[3] = 31;
    ByteWriter block;
    block.i32(1);
    block.i32(2);
    block.i32(3);
    for (int i = 0; i < 18; ++i) block.u8(uint8_t(10 * i));
    file.insert(file.end(), block.data().begin(), block.data().end());
    file.insert(file.end(), v40.begin() + 66 * 4, v40.begin() + 71 * 4);  // city color, X and Y center

    ParamRecord r = defaultRecord();
    RgbImage picture;
    ReadReport report;
    ASSERT_EQ(decode(file, r, &picture, &report), platform::kFileOk);
    EXPECT_TRUE(report.thumbnailLoaded);
    ASSERT_EQ(picture.width, 2);
    ASSERT_EQ(picture.height, 3);
    EXPECT_EQ(picture.at(1, 2)[2], 170);
    EXPECT_EQ(r.cityColor, written.cityColor);
    EXPECT_NEAR(r.yCenter, written.yCenter, 1.0 / 65536);

    // Without the picture wanted the same file still reads its last words.
    ParamRecord s = defaultRecord();
    ASSERT_EQ(decode(file, s), platform::kFileOk);
    EXPECT_EQ(s.cityColor, written.cityColor);
    EXPECT_NEAR(s.yCenter, written.yCenter, 1.0 / 65536);

    // A picture wider than 128 is an impossible size: nothing changes.
    putWord(file, 67, 129);
    ParamRecord before = defaultRecord(), after = before;
    EXPECT_EQ(decode(file, after, &picture, &report), platform::kFileReadError);
    EXPECT_TRUE(sameBytes(before, after));
    EXPECT_NE(report.message.find("impossible"), std::string::npos);
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
    ASSERT_LE(n, 49152);

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
}

TEST_F(SettingsFile, BusyThumbnailStillFitsWhatAReaderTakes) {
    RgbImage noise(128, 128);
    std::mt19937 gen(5);
    for (auto& b : noise.pixels) b = uint8_t(gen());
    const auto bytes = persist::encodeSettings(defaultRecord(), &noise);
    EXPECT_EQ(wordAt(bytes, 72), 1);
    EXPECT_LE(wordAt(bytes, 75), 49152);
    ParamRecord r = defaultRecord();
    RgbImage back;
    ReadReport report;
    ASSERT_EQ(decode(bytes, r, &back, &report), platform::kFileOk);
    EXPECT_TRUE(report.thumbnailLoaded) << report.message;
}

TEST_F(SettingsFile, ThumbnailOnlyModeLeavesTheRecordAlone) {
    const RgbImage source = gradientImage(128, 128);
    const auto bytes = persist::encodeSettings(unusual(), &source);
    ParamRecord before = defaultRecord(), r = before;
    RgbImage thumbnail;
    ASSERT_EQ(persist::decodeSettings(bytes.data(), bytes.size(), ReadMode::ThumbnailOnly, &r, &thumbnail),
              platform::kFileOk);
    EXPECT_TRUE(sameBytes(before, r));
    EXPECT_EQ(thumbnail.width, 128);
    ASSERT_EQ(persist::decodeSettings(bytes.data(), bytes.size(), ReadMode::ThumbnailOnly, nullptr, &thumbnail),
              platform::kFileOk);
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

TEST_F(SettingsFile, SaveNameAndOpenCommand) {
    EXPECT_EQ(persist::saveFileStem(""), "Terravane settings");
    EXPECT_EQ(persist::saveFileStem("mars.q1q"), "mars");
    EXPECT_EQ(persist::saveFileStem("a.b.c"), "a.b");
    EXPECT_EQ(persist::saveFileStem(".q1q"), "Terravane settings");

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

TEST_F(SettingsFile, CachedSettingsAreReadAtStartOnlyWithoutRecordedParameters) {
    ParamRecord rendered = unusual();
    StateBlock state{};
    persist::PersistRun run;
    persist::ensureThumbnail(state) = gradientImage(128, 128);
    ASSERT_EQ(persist::finishRender(rendered, state), platform::kFileOk);
    EXPECT_TRUE(platform::fileExists(platform::workingFile("Terravane cached settings D")));
    persist::endRun(state, run);
    EXPECT_EQ(state.thumbnail, nullptr);

    ParamRecord recorded = defaultRecord();
    StateBlock next{};
    EXPECT_EQ(persist::beginRun(recorded, next, run, true), platform::kFileOk);
    EXPECT_EQ(differences(defaultRecord(), recorded), "");
    ASSERT_NE(next.thumbnail, nullptr);
    EXPECT_EQ(next.thumbnail->width, 128);
    persist::endRun(next, run);

    ParamRecord fresh = defaultRecord();
    EXPECT_EQ(persist::beginRun(fresh, next, run, false), platform::kFileOk);
    EXPECT_EQ(fresh.randomSeed, rendered.randomSeed);
    EXPECT_EQ(fresh.downloadedClouds, rendered.downloadedClouds);
    EXPECT_LE(maxDifference(*next.thumbnail, gradientImage(128, 128)), 12);
    persist::endRun(next, run);
}

TEST_F(SettingsFile, PresetFolderRefreshRewritesOldFilesAndRestoresTheSettings) {
    const std::string folder = path("presets");
    ASSERT_TRUE(platform::createFolder(folder));
    Words old;
    old.add({12});
    old.w.resize(size_t(1 + wordsOfVersion(12)), 40);
    const auto oldBytes = old.bytes();
    const auto current = persist::encodeSettings(unusual(), nullptr);
    const std::string broken = "not settings";
    platform::writeFileAtomic(platform::joinPath(folder, "moon.q9q"), oldBytes.data(), oldBytes.size());
    platform::writeFileAtomic(platform::joinPath(folder, "mars.q5q"), current.data(), current.size());
    platform::writeFileAtomic(platform::joinPath(folder, "mars.q9q"), oldBytes.data(), oldBytes.size());
    platform::writeFileAtomic(platform::joinPath(folder, "junk.q5q"), broken.data(), broken.size());
    platform::writeFileAtomic(platform::joinPath(folder, "notes.txt"), oldBytes.data(), oldBytes.size());

    struct Seen {
        std::vector<std::string> names;
    } seen;
    persist::RefreshHooks hooks;
    hooks.context = &seen;
    hooks.refresh = [](void* c, ParamRecord& r, StateBlock& s) {
        static_cast<Seen*>(c)->names.push_back(r.settingsName);
        persist::ensureThumbnail(s) = gradientImage(64, 64);  // the new picture from the preview
    };
    ParamRecord record = defaultRecord();
    record.seaLevel = 3;
    StateBlock state{};
    EXPECT_EQ(persist::refreshPresetFolder(folder, record, state, hooks), 3);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"mars.q5q", "mars.q9q", "moon.q9q"}));
    EXPECT_EQ(record.seaLevel, 3);  // read back from dot file 25
    EXPECT_TRUE(platform::fileExists(persist::dotFilePath(25)));

    EXPECT_FALSE(platform::fileExists(platform::joinPath(folder, "moon.q9q")));
    // An old file whose new name is taken is rewritten under its own name.
    std::vector<uint8_t> mars, marsOld;
    ASSERT_TRUE(platform::readFile(platform::joinPath(folder, "mars.q5q"), mars));
    EXPECT_EQ(wordAt(mars, 11), wordAt(current, 11));
    ASSERT_TRUE(platform::readFile(platform::joinPath(folder, "mars.q9q"), marsOld));
    EXPECT_EQ(wordAt(marsOld, 1), 40);
    std::vector<uint8_t> moon, junk, notes;
    ASSERT_TRUE(platform::readFile(platform::joinPath(folder, "moon.q5q"), moon));
    EXPECT_EQ(wordAt(moon, 1), 40);
    EXPECT_EQ(wordAt(moon, 72), 1);  // now with a picture
    ASSERT_TRUE(platform::readFile(platform::joinPath(folder, "junk.q5q"), junk));
    EXPECT_EQ(std::string(junk.begin(), junk.end()), broken);
    ASSERT_TRUE(platform::readFile(platform::joinPath(folder, "notes.txt"), notes));
    EXPECT_EQ(notes, oldBytes);
    persist::freeThumbnail(state);
}

TEST(Thumbnail, ScalingAveragesAreasAndCentredSquareCrops) {
    RgbImage checker(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) std::fill_n(checker.at(x, y), 3, uint8_t(((x + y) & 1) ? 200 : 0));
    const RgbImage half = persist::scaleImage(checker, 2, 2);
    for (uint8_t b : half.pixels) EXPECT_EQ(b, 100);
    const RgbImage third = persist::scaleImage(gradientImage(90, 90), 30, 30);
    EXPECT_NEAR(third.at(0, 0)[0], 3, 1);      // mean of columns 0..2
    EXPECT_NEAR(third.at(29, 0)[0], 252, 1);   // mean of columns 87..89
    const RgbImage up = persist::scaleImage(checker, 8, 8);
    EXPECT_EQ(up.at(0, 0)[0], 0);
    EXPECT_EQ(up.at(2, 0)[0], 200);

    const RgbImage wide = gradientImage(300, 100);
    const RgbImage square = persist::centredSquare(wide, Rect{10, 0, 90, 300});
    ASSERT_EQ(square.width, 80);
    EXPECT_EQ(square.at(0, 0)[0], wide.at(110, 10)[0]);
    EXPECT_EQ(persist::centredSquare(wide, Rect{0, 400, 10, 500}).width, 0);
}

}  // namespace
}  // namespace tv
