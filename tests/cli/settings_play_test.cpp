// Whole settings through a real filter run: 16-bit colours and exact floats
// reach the module, so a render equals the layered export of the same
// settings; JSON settings round-trip through preset show; the last run's
// settings play again unchanged.
#include "../export/psd_test_reader.h"
#include "../support/terravane.h"
#include "export/psd_writer.h"
#include "image_io.h"

namespace tv::test {
namespace {

class SettingsPlayTest : public CommandTest {
protected:
    // The red plane of a 16-bit TIFF or PNG on the renderer's 0..32768 scale.
    std::vector<uint32_t> rendered(const std::string& name) {
        cli::Image image;
        std::string error;
        EXPECT_TRUE(cli::readImage(path(name), image, &error)) << error;
        std::vector<uint32_t> out;
        for (size_t i = 0; i < size_t(image.width) * size_t(image.height); ++i) {
            uint16_t v;
            std::memcpy(&v, image.data.data() + 2 * i * size_t(image.channels), 2);
            out.push_back((uint32_t(v) * 32768u + 32767u) / 65535u);  // inverse of the file scaling
        }
        return out;
    }
    // The red plane of the layer showing output mode `mode`, on the same scale.
    std::vector<uint32_t> layer(const std::string& name, int32_t mode) {
        const ParsedDocument doc = parsePsd(readBytes(path(name)));
        EXPECT_TRUE(doc.ok) << doc.error;
        std::vector<uint32_t> out;
        for (int32_t i = 1; i <= int32_t(doc.layers.size()); ++i) {
            if (psdLayerMode(i) != mode) continue;
            const auto& red = doc.layers[size_t(i - 1)].planes.at(0);
            for (size_t p = 0; p + 1 < red.size(); p += 2) {
                const uint32_t v = uint32_t(red[p]) << 8 | red[p + 1];
                out.push_back(v == 65535 ? 32768 : v / 2);
            }
        }
        return out;
    }
};

TEST_F(SettingsPlayTest, RendersCarryEverySettingExactly) {
    // Colours with low bytes and a light off the settings file's 0.01 grid.
    ASSERT_TRUE(writeText(path("s.json"), "{\"land color\": [51234, 12345, 6789], \"sea color\": [1111, 22222, 33333],"
                                          " \"output mode\": \"lit map\", \"light z\": 0.3}"));
    ASSERT_EQ(run("preset save --settings s.json -o p.q1q").status, 0);
    const std::string size = " --size 48x24 --depth 16 --quiet";
    ASSERT_EQ(run("render --preset p.q1q -o r.tif" + size).status, 0);
    ASSERT_EQ(run("layers --preset p.q1q -o l.psd" + size).status, 0);
    const auto byRender = rendered("r.tif");
    ASSERT_EQ(byRender.size(), 48u * 24u);
    EXPECT_EQ(byRender, layer("l.psd", 3));

    // What preset show prints comes back whole, from a file or standard input,
    // and a repeat run plays the same settings.
    const Result shown = run("preset show p.q1q > p.json");
    ASSERT_EQ(shown.status, 0);
    EXPECT_NE(readText(path("p.json")).find("[51234, 12345, 6789]"), std::string::npos);
    ASSERT_EQ(run("render --settings p.json -o a.tif" + size).status, 0);
    ASSERT_EQ(run("render --settings - -o b.tif" + size + " < p.json").status, 0);
    ASSERT_EQ(run("render -o c.tif" + size).status, 0);
    for (const char* again : {"a.tif", "b.tif", "c.tif"}) EXPECT_EQ(readText(path(again)), readText(path("r.tif"))) << again;
    EXPECT_NE(run("preset show --last").out.find("\"land color\": [51234, 12345, 6789]"), std::string::npos);

    // The defaults (a light z of 0.274226) and an 8-bit --set, as scripting carries it.
    ASSERT_EQ(run("render --set glue=3 --set \"sea red=200\" -o d.tif" + size).status, 0);
    ASSERT_EQ(run("layers --set glue=3 --set \"sea red=200\" -o d.psd" + size).status, 0);
    EXPECT_EQ(rendered("d.tif"), layer("d.psd", 3));
    EXPECT_NE(run("preset show --last").out.find("\"sea color\": [51200, 5921, 18421]"), std::string::npos);

    // 16-bit colours and an off-grid light at once cannot both be carried:
    // the render says what it rounded.
    ASSERT_TRUE(writeText(path("t.json"), "{\"land color\": [51234, 1, 2], \"light z\": 0.2742}"));
    const Result both = run("render --settings t.json -o t.png --size 8x8 --quiet");
    EXPECT_EQ(both.status, 0);
    EXPECT_NE(both.err.find("\"light z\" 0.2742 is played as 0.27"), std::string::npos) << both.err;
}

TEST_F(SettingsPlayTest, BadSettingsAreNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"{\"land color\": [1, 2]}", "\"land color\" needs three channels"},
        {"{\"planet size\": 8.5}", "\"planet size\" needs a whole number"},
        {"{\"planet colour\": 3}", "unknown setting \"planet colour\""},
        {"{\"land red\": 300}", "0 to 255"},
        {"{\"output mode\": \"spherical\"}", "spherical"},
        {"[1, 2]", "expected a JSON object"},
        {"{\"sunset\": 3,\n \"ice\": }", "line 2"},
    };
    for (const auto& [json, says] : cases) {
        ASSERT_TRUE(writeText(path("bad.json"), json));
        const Result r = run("render --settings bad.json -o x.png");
        EXPECT_EQ(r.status, 1) << json;
        EXPECT_TRUE(r.oneErrorLine()) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << json << ": " << r.err;
    }
    EXPECT_FALSE(exists("x.png"));
}

TEST_F(SettingsPlayTest, ConventionsHoldInEveryCommand) {
    // Exit status and what the one line must say.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"render -o missing/x.png --size 8x8", 1, "cannot write \"missing/x.png\": No such file or directory"},
        {"render --quiet=1", 2, "--quiet takes no value"},
        {"render --format gif -o -", 2, "gif"},
        {"render -o x.png --format tif", 2, "does not match"},
        {"layers -o x.png", 2, "must end in .psd"},
        {"preset save -o x.json", 2, "must end in .q1q"},
        {"catalogue dots -o x.txt", 2, "must end in .html or .htm"},
        {"preset show --last", 1, "no render has run yet"},
        {"params --frobnicate", 2, "--frobnicate"},
        {"clouds update-list", 1, "TERRAVANE_LIST_SERVER"},
        {"frobnicate", 2, "unknown command"},
    };
    ::unsetenv("TERRAVANE_LIST_SERVER");
    for (const auto& [args, status, says] : cases) {
        const Result r = run(args);
        EXPECT_EQ(r.status, status) << args << ": " << r.err;
        EXPECT_TRUE(r.oneErrorLine()) << args << ": " << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_EQ(run("--version").out.rfind("terravane ", 0), 0u);
    for (const char* command : {"render", "params", "preset", "layers", "catalogue", "clouds"}) {
        const Result help = run(std::string(command) + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_NE(help.out.find("TERRAVANE_HOME"), std::string::npos) << command;
    }
    // Standard output, options written with "=", an image read by its content.
    ASSERT_EQ(run("render --size=16x16 --quiet -o - > out.bin").status, 0);
    EXPECT_EQ(readText(path("out.bin")).rfind("\x89PNG", 0), 0u);
    ASSERT_EQ(run("render --source out.bin --quiet -o copy.ppm").status, 0);
    EXPECT_EQ(readText(path("copy.ppm")).rfind("P6\n16 16\n", 0), 0u);
}

}  // namespace
}  // namespace tv::test
