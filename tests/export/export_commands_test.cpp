// terravane layers and terravane catalogue, run as a user runs them.
#include "../support/terravane.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "psd_test_reader.h"

namespace tv::test {
namespace {

class ExportCommandsTest : public CommandTest {
protected:
    ParsedDocument layers(const std::string& arguments, const std::string& file) {
        const Result r = run("layers -o " + file + " --size 8x4 --depth 16 " + arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        const ParsedDocument doc = parsePsd(readBytes(path(file)));
        EXPECT_TRUE(doc.ok) << doc.error;
        return doc;
    }
};

TEST_F(ExportCommandsTest, LayersWritesTheDocumentFromPresetAndSettings) {
    const ParsedDocument plain = layers("", "a.psd");
    EXPECT_EQ(plain.depth, 16);
    EXPECT_EQ(plain.width, 8u);
    ASSERT_EQ(plain.layers.size(), 11u);

    ParamRecord r = defaultRecord();
    r.randomSeed = 4242;
    ASSERT_EQ(persist::writeSettingsFile(path("other.q1q"), r, nullptr), 0);
    const ParsedDocument fromPreset = layers("--preset other.q1q", "b.psd");
    ASSERT_EQ(fromPreset.layers.size(), 11u);
    EXPECT_NE(fromPreset.layers[3].planes.at(0), plain.layers[3].planes.at(0));  // another land bump
    // The same seed given by --set makes the same document.
    const ParsedDocument fromSet = layers("--set 'random seed=4242'", "c.psd");
    ASSERT_EQ(fromSet.layers.size(), 11u);
    EXPECT_EQ(fromSet.layers[3].planes.at(0), fromPreset.layers[3].planes.at(0));
}

TEST_F(ExportCommandsTest, BadRequestsGiveOneClearLineAndNoFile) {
    const std::pair<std::string, std::string> cases[] = {
        {"layers --size 8x4", "no output file"},
        {"layers -o x.psd --size 30001x2", "at most 30000"},
        {"layers -o x.psd --set 'no such thing=1'", "no such thing"},
        {"layers -o x.psd --preset missing.q1q", "missing.q1q"},
        {"layers -o no/folder/x.psd --size 2x2", "cannot create"},
        {"catalogue", "presets FOLDER or dots"},
        {"catalogue presets nowhere -o x.html", "is not a folder"},
        {"catalogue dots -o no/folder/x.html", "no/folder"},
    };
    for (const auto& [arguments, says] : cases) {
        const Result r = run(arguments);
        EXPECT_NE(r.status, 0) << arguments;
        EXPECT_TRUE(r.err.starts_with("terravane " + arguments.substr(0, arguments.find(' ')) + ": ")) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_TRUE(r.oneErrorLine()) << r.err;
    }
    EXPECT_FALSE(exists("x.psd") || exists("x.html"));
}

TEST_F(ExportCommandsTest, CtrlCStopsTheExportAndLeavesTheOldFile) {
    ASSERT_TRUE(writeText(path("kept.psd"), "an older document"));
    const pid_t child = startTerravane(root_, {"layers", "-o", "kept.psd", "--size", "2048x1024"}, "/dev/null");
    ASSERT_GT(child, 0);
    // Interrupt once the document is being written: the process has a file of
    // the folder open (a temporary without a name, or a hidden one beside it).
    auto writing = [&] {
        for (const auto& e : std::filesystem::directory_iterator(root_))
            if (e.path().filename().string().starts_with(".")) return true;
        return false;
    };
    auto opened = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/fd", ec))
            if (std::filesystem::read_symlink(e.path(), ec).string().starts_with(root_.string())) return true;
        return false;
    };
    const bool wasWriting = waitFor(opened);
    ::kill(child, SIGINT);
    EXPECT_EQ(exitStatusOf(child), 130) << "the export did not stop by itself";
    EXPECT_TRUE(wasWriting);
    EXPECT_EQ(readText(path("kept.psd")), "an older document");
    EXPECT_FALSE(writing());
}

TEST_F(ExportCommandsTest, CatalogueDotsShowsTheKeptDotsOfTheWorkingFolder) {
    // Dots 1 and 4 are kept, dot 2 has a file but is not (the files and the
    // dot map live in the working folder); numbers run from 1.
    StateBlock state{};
    for (int32_t n : {0, 1, 3}) {
        ASSERT_EQ(persist::writeSettingsFile(persist::dotFilePath(n), defaultRecord(), nullptr), 0);
        state.dotMarks[n] = n != 1;
    }
    ASSERT_EQ(persist::saveDotMap(state), 0);
    std::filesystem::create_directories(path("dots"));
    const Result done = run("catalogue dots -o dots/dots.html");
    ASSERT_EQ(done.status, 0) << done.err;
    const std::string dots = readText(path("dots/dots.html"));
    EXPECT_NE(dots.find("<title>Terravane memory dots</title>"), std::string::npos);
    EXPECT_NE(dots.find("web_images/dot%201.jpg"), std::string::npos);
    EXPECT_NE(dots.find("web_images/dot%204.jpg"), std::string::npos);
    EXPECT_EQ(dots.find("dot%202"), std::string::npos);
    EXPECT_TRUE(exists("dots/web_images/dot 4.jpg"));
}

}  // namespace
}  // namespace tv::test
