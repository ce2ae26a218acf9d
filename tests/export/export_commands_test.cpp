// terravane layers and terravane catalogue, run as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <string>
#include <vector>

#include "export_test_util.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "psd_test_reader.h"

namespace tv {
namespace {

using testing_export::parsePsd;
using testing_export::ParsedDocument;
using testing_export::readAll;
using testing_export::runCommand;

class ExportCommandsTest : public testing_export::TempFolderTest {
protected:
    // Runs terravane with arguments; returns the exit status, stderr in *err.
    int terravane(const std::string& arguments, std::string* err = nullptr) {
        const std::string errFile = path("stderr.txt");
        const int rc = runCommand("'" + std::string(TV_BINARY_DIR) + "/terravane' " + arguments + " 2>'" + errFile +
                                      "' >/dev/null",
                                  nullptr);
        const std::vector<uint8_t> e = readAll(errFile);
        if (err) err->assign(e.begin(), e.end());
        return rc;
    }
    std::string quoted(const std::string& name) { return "'" + path(name) + "'"; }
};

TEST_F(ExportCommandsTest, LayersWritesTheDocumentFromPresetAndSettings) {
    std::string err;
    ASSERT_EQ(terravane("layers -o " + quoted("a.psd") + " --size 8x4 --depth 16", &err), 0) << err;
    const ParsedDocument plain = parsePsd(readAll(path("a.psd")));
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.depth, 16);
    EXPECT_EQ(plain.width, 8u);
    EXPECT_EQ(plain.layers.size(), 11u);

    ParamRecord r = defaultRecord();
    r.randomSeed = 4242;
    ASSERT_EQ(persist::writeSettingsFile(path("other.q1q"), r, nullptr), 0);
    ASSERT_EQ(terravane("layers -o " + quoted("b.psd") + " --size 8x4 --depth 16 --preset " + quoted("other.q1q"), &err),
              0)
        << err;
    const ParsedDocument fromPreset = parsePsd(readAll(path("b.psd")));
    ASSERT_TRUE(fromPreset.ok) << fromPreset.error;
    EXPECT_NE(fromPreset.layers[3].planes.at(0), plain.layers[3].planes.at(0));  // another land bump

    // The same seed given by --set makes the same document.
    ASSERT_EQ(terravane("layers -o " + quoted("c.psd") + " --size 8x4 --depth 16 --set 'random seed=4242'", &err), 0)
        << err;
    const ParsedDocument fromSet = parsePsd(readAll(path("c.psd")));
    ASSERT_TRUE(fromSet.ok) << fromSet.error;
    EXPECT_EQ(fromSet.layers[3].planes.at(0), fromPreset.layers[3].planes.at(0));
}

TEST_F(ExportCommandsTest, LayersRefusesBadRequestsWithOneClearLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"layers --size 8x4", "no output file"},
        {"layers -o " + quoted("x.psd") + " --size 30001x2", "at most 30000"},
        {"layers -o " + quoted("x.psd") + " --set 'no such thing=1'", "no such thing"},
        {"layers -o " + quoted("x.psd") + " --preset " + quoted("missing.q1q"), "missing.q1q"},
        {"layers -o " + quoted("x.psd") + " --depth 12", "12"},
        {"layers -o " + quoted("x.psd") + " --frobnicate", "--frobnicate"},
        {"layers -o " + quoted("no/folder/x.psd") + " --size 2x2", "cannot create"},
    };
    for (const auto& [arguments, says] : cases) {
        std::string err;
        EXPECT_NE(terravane(arguments, &err), 0) << arguments;
        EXPECT_TRUE(err.starts_with("terravane layers: ")) << err;
        EXPECT_NE(err.find(says), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
    EXPECT_FALSE(std::filesystem::exists(path("x.psd")));
}

TEST_F(ExportCommandsTest, CtrlCStopsTheExportAndLeavesTheOldFile) {
    const std::string target = path("kept.psd");
    const std::string old = "an older document";
    ASSERT_EQ(platform::writeFileAtomic(target, old.data(), old.size()), 0);
    const std::string program = std::string(TV_BINARY_DIR) + "/terravane";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::freopen("/dev/null", "w", stderr);
        ::execl(program.c_str(), program.c_str(), "layers", "-o", target.c_str(), "--size", "2048x1024", nullptr);
        ::_exit(127);
    }
    // Interrupt once the document is being written (its temporary file exists).
    bool writing = false;
    for (int i = 0; i < 400 && !writing; ++i) {
        for (const auto& e : std::filesystem::directory_iterator(root_))
            if (e.path().filename().string().starts_with(".kept.psd.")) writing = true;
        if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(writing);
    ASSERT_TRUE(WIFEXITED(status)) << "the export did not stop by itself";
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::vector<uint8_t> now = readAll(target);
    EXPECT_EQ(std::string(now.begin(), now.end()), old);
    for (const auto& e : std::filesystem::directory_iterator(root_))
        EXPECT_FALSE(e.path().filename().string().starts_with(".kept.psd.")) << e.path();
}

TEST_F(ExportCommandsTest, CataloguePresetsAndDotsWritePagesWithThumbnails) {
    std::filesystem::create_directories(path("Moons & Co"));
    ParamRecord r = defaultRecord();
    ASSERT_EQ(persist::writeSettingsFile(path("Moons & Co/Red Moon.q1q"), r, nullptr), 0);
    std::string err;
    ASSERT_EQ(terravane("catalogue presets " + quoted("Moons & Co") + " -o " + quoted("presets.html"), &err), 0) << err;
    const std::vector<uint8_t> page = readAll(path("presets.html"));
    const std::string html(page.begin(), page.end());
    EXPECT_NE(html.find("presets from Moons &amp; Co"), std::string::npos);
    EXPECT_NE(html.find("src=\"web_images/Red%20Moon.jpg\""), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(path("web_images/Red Moon.jpg")));

    // Dots 1 and 4 are kept (their files and the dot map live in the working folder).
    StateBlock state{};
    for (int32_t n : {0, 3}) {
        ASSERT_EQ(persist::writeSettingsFile(persist::dotFilePath(n), r, nullptr), 0);
        state.dotMarks[n] = 1;
    }
    ASSERT_EQ(persist::saveDotMap(state), 0);
    ASSERT_EQ(terravane("catalogue dots -o " + quoted("dots/dots.html"), &err), 1);  // no such folder
    std::filesystem::create_directories(path("dots"));
    ASSERT_EQ(terravane("catalogue dots -o " + quoted("dots/dots.html"), &err), 0) << err;
    const std::vector<uint8_t> dots = readAll(path("dots/dots.html"));
    const std::string dotsHtml(dots.begin(), dots.end());
    EXPECT_NE(dotsHtml.find("web_images/dot%201.jpg"), std::string::npos);
    EXPECT_NE(dotsHtml.find("web_images/dot%204.jpg"), std::string::npos);
    EXPECT_EQ(dotsHtml.find("dot%202"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(path("dots/web_images/dot 4.jpg")));
}

TEST_F(ExportCommandsTest, CatalogueRefusesBadRequests) {
    const std::pair<std::string, std::string> cases[] = {
        {"catalogue", "presets FOLDER or dots"},
        {"catalogue presets -o " + quoted("p.html"), "needs the folder"},
        {"catalogue presets " + quoted("nowhere") + " -o " + quoted("p.html"), "is not a folder"},
        {"catalogue dots", "no page file"},
        {"catalogue pictures -o " + quoted("p.html"), "pictures"},
    };
    for (const auto& [arguments, says] : cases) {
        std::string err;
        EXPECT_NE(terravane(arguments, &err), 0) << arguments;
        EXPECT_TRUE(err.starts_with("terravane catalogue: ")) << err;
        EXPECT_NE(err.find(says), std::string::npos) << err;
    }
    EXPECT_FALSE(std::filesystem::exists(path("p.html")));
}

}  // namespace
}  // namespace tv
