// Every writer of the command-line host and the module, with each step of its
// writes failing in turn (TERRAVANE_FAIL_WRITE_STEP: a full disk, then an
// input/output error): the file that failed is left as it was, no temporary
// or partial file stays behind, the message says why, and the run fails
// (status 1) unless only a file kept for the next run failed, which is a
// warning. Here for the list server of the URL list's row.
#include <functional>
#include <chrono>
#include <map>
#include <random>
#include <thread>
#include <sstream>

#include "../support/terravane.h"
#include "clouds/catalogue.h"
#include "clouds/cloud_cache.h"
#include "host/pi/memory_descriptor.h"
#include "image_io.h"
#include "local_server.h"
#include "persist/settings_file.h"
#include "platform/files.h"
#include "test_images.h"

namespace tv {
namespace {

namespace fs = std::filesystem;

bool endsWith(const std::vector<uint8_t>& b, std::string_view tail) {
    return b.size() >= tail.size() && std::string(b.end() - long(tail.size()), b.end()) == tail;
}

// Whether a file the runs write reads whole by its kind ("" when it does).
std::string damage(const fs::path& file) {
    const std::string name = file.filename().string(), ext = file.extension().string();
    const std::vector<uint8_t> b = test::readBytes(file);
    ParamRecord r = defaultRecord();
    if (ext == ".q1q" || name.starts_with("Terravane cached settings") || name.starts_with("Terravane undo"))
        return persist::decodeSettings(b.data(), b.size(), persist::ReadMode::Load, &r, nullptr) == platform::kFileOk
                   ? "" : "settings";
    if (name == "Terravane memdot map 3") return b.size() == 104 ? "" : "dot map";
    if (name == "Terravane host descriptor") {
        pi::MemoryDescriptor d;
        return pi::decodeDescriptor(b.data(), b.size(), d) ? "" : "descriptor";
    }
    if (name == "Terravane cached clouds 04") {
        CloudMap map;
        return decodeCloudCache(b.data(), b.size(), 4, map) == kCacheOk ? "" : "cloud cache";
    }
    if (name == kUrlListFileName) {
        CatalogueEntry entries[kListEntryCount];
        int32_t version = 0;
        return readUrlListFile(file.string(), entries, version) == kCatalogueOk ? "" : "URL list";
    }
    if (ext == ".psd") return b.size() > 26 && std::string(b.begin(), b.begin() + 4) == "8BPS" ? "" : "document";
    if (ext == ".html") return endsWith(b, "</html>\r\n") ? "" : "page";
    if (ext == ".jpg") return endsWith(b, "\xff\xd9") ? "" : "picture";
    if (ext == ".gif") return endsWith(b, ";") ? "" : "frame piece";
    // Formats the host writes but does not read: their signatures.
    const auto starts = [&](std::string_view head) {
        return std::string(b.begin(), b.begin() + long(std::min(b.size(), head.size()))) == head;
    };
    if (ext == ".exr") return starts("\x76\x2f\x31\x01") ? "" : "image";
    if (ext == ".pfm") return starts("PF\n") || starts("Pf\n") ? "" : "image";
    if (ext == ".bmp")
        return starts("BM") && b.size() > 6 && (b[2] | b[3] << 8 | b[4] << 16 | uint32_t(b[5]) << 24) == b.size()
                   ? ""
                   : "image";
    for (const char* image : {".png", ".tif", ".ppm", ".pgm"})
        if (ext == image) {
            cli::Image out;
            return cli::readImage(file.string(), out, nullptr) ? "" : "image";
        }
    return "";
}

class WriteFaults : public test::CommandTest {
protected:
    std::map<fs::path, std::vector<uint8_t>> files() const {
        std::map<fs::path, std::vector<uint8_t>> all;
        for (const auto& e : fs::recursive_directory_iterator(root_))
            if (e.is_regular_file()) all[e.path()] = test::readBytes(e.path());
        return all;
    }
    // Runs args (each "#" a number that changes from run to run, so that a
    // new file differs from the old one) with every step failing in turn.
    // The number of faults injected.
    int failEachStep(const std::string& args, bool silentSteps = false, const std::function<void()>& beforeEach = {}) {
        const auto with = [&](int n) {
            std::string a = args;
            for (size_t at; (at = a.find('#')) != std::string::npos;) a.replace(at, 1, std::to_string(40 + n % 7));
            return a;
        };
        const test::Result first = run(with(0));
        EXPECT_EQ(first.status, 0) << args << ": " << first.err;
        for (int n = 1; n < 100; ++n) {
            if (beforeEach) beforeEach();
            const auto before = files();
            const bool io = n % 2 == 0;
            const test::Result r =
                run(with(n), "export TERRAVANE_FAIL_WRITE_STEP=" + std::to_string(n) + (io ? ":EIO" : ""));
            const std::string what = args + ", step " + std::to_string(n) + ": " + r.err;
            if (r.err.find("terravane: injected") == std::string::npos) {
                EXPECT_EQ(r.status, 0) << what;
                EXPECT_GE(n - 1, 3) << args << ": a write has three steps at least";
                return n - 1;
            }
            std::string told;  // what the run says, the hook's own line apart
            std::istringstream lines(r.err);
            for (std::string line; std::getline(lines, line);)
                if (!line.starts_with("terravane: injected")) told += line + "\n";
            if (!(silentSteps && told.empty())) {
                EXPECT_NE(told.find(io ? "Input/output error" : "No space left on device"), std::string::npos) << what;
            }
            EXPECT_TRUE(r.status == 1 || (r.status == 0 && (silentSteps || !told.empty()))) << what;
            const auto after = files();
            for (const auto& [file, bytes] : after) {
                const std::string name = file.filename().string();
                EXPECT_FALSE(name.starts_with(".tv") || name.ends_with("(download)")) << what << name << " is left";
                EXPECT_EQ(damage(file), "") << what << file;
                // Nothing new after a failed run (no picture of a page never written).
                if (r.status == 1) {
                    EXPECT_TRUE(before.count(file)) << what << file << " is new";
                }
            }
            // The file a failed run names is as it was (after a warning, it is
            // whole: the old one, or the settings the host placed for the run).
            for (const auto& [file, bytes] : before)
                if (r.status == 1 && told.find(file.filename().string()) != std::string::npos && after.count(file)) {
                    EXPECT_TRUE(after.at(file) == bytes) << what << file << " changed";
                }
        }
        ADD_FAILURE() << args << ": more than 100 steps";
        return 0;
    }
};

TEST_F(WriteFaults, EveryWriterLeavesOldFilesWholeAndSaysWhy) {
    fs::create_directories(root_ / "presets");
    // Colours of 16 bits reach the module through the cached settings file,
    // which the host places for the run.
    ParamRecord deep = defaultRecord();
    deep.landColor = {0x1234, 0x4567, 0x89AB};
    ASSERT_EQ(persist::writeSettingsFile(path("presets/deep.q1q"), deep, nullptr), platform::kFileOk);
    ASSERT_TRUE(test::writeBytes(path("disc.jpeg"),
                                 test::encodeJpeg(1381, 1483, test::earthDiscRgb(1381, 1483, 26, 136, 1350))));
    test::writeText(path("ok.txt"), "ok\n");
    test::LocalServer server;
    const std::string list = std::string(TV_SOURCE_DIR) + "/tests/fuzz/corpus/url_list/built-in";
    server.answer(kUrlListPath, {.body = test::readText(list)});
    ::setenv("TERRAVANE_LIST_SERVER", server.base().c_str(), 1);

    int faults = 0;
    const std::string small = " --size 12x10 --quiet --set \"planet size=#\"";
    // The settings file, the cached settings, the dot map, the descriptor kept
    // for the next run and the image, in each format.
    faults += failEachStep("render --preset presets/deep.q1q -o out.png" + small);
    for (const char* format : {"tif", "exr", "ppm", "pgm", "bmp", "pfm"})
        faults += failEachStep(std::string("render -o out.") + format + small);
    faults += failEachStep("preset save -o presets/saved.q1q --set \"planet size=#\"");
    faults += failEachStep("layers -o doc.psd" + small);
    // The undo files fall back on memory without a word.
    faults += failEachStep("edit --replay ok.txt -o edited.png" + small, true);
    faults += failEachStep("clouds convert disc.jpeg --entry 4");
    faults += failEachStep("clouds update-list");
    // A page with a picture new to it each time: a failed page leaves no such picture.
    faults += failEachStep("catalogue presets presets -o page.html --quiet --threads 1", false,
                           [&] { fs::remove(root_ / "web_images" / "deep.jpg"); });
    std::printf("%d faults injected\n", faults);
}

// Saves killed at random moments (SIGKILL: nothing of the process runs on)
// leave every file whole, the old one or the new one. TERRAVANE_TEST_KILLS sets
// how many (scripts/reliability-runs runs hundreds).
TEST_F(WriteFaults, KilledSavesLeaveWholeOldOrNewFiles) {
    const char* count = std::getenv("TERRAVANE_TEST_KILLS");
    const int kills = count ? std::atoi(count) : 24;
    ASSERT_TRUE(test::writeBytes(path("disc.jpeg"),
                                 test::encodeJpeg(1381, 1483, test::earthDiscRgb(1381, 1483, 26, 136, 1350))));
    const std::vector<std::vector<std::string>> saves = {
        {"preset", "save", "-o", "saved.q1q", "--set", "planet size=#"},
        {"layers", "-o", "doc.psd", "--size", "160x120", "--quiet", "--set", "planet size=#"},
        {"render", "-o", "out.png", "--size", "400x300", "--quiet", "--set", "planet size=#"},
        {"render", "-o", "out.tif", "--size", "400x300", "--quiet", "--depth", "16", "--set", "planet size=#"},
        {"clouds", "convert", "disc.jpeg", "--entry", "4"},
    };
    const auto start = [&](size_t which, int n) {
        std::vector<std::string> args = saves[which];
        for (std::string& a : args)
            if (const size_t at = a.find('#'); at != std::string::npos) a.replace(at, 1, std::to_string(30 + n % 50));
        return test::startTerravane(root_, args, (root_.string() + ".err"));
    };
    // How long each save takes when it runs to its end (and the first whole files).
    std::vector<double> seconds;
    for (size_t i = 0; i < saves.size(); ++i) {
        const auto begun = std::chrono::steady_clock::now();
        ASSERT_EQ(test::exitStatusOf(start(i, 0)), 0) << test::readText(root_.string() + ".err");
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count());
    }
    std::mt19937 random(2027);
    int killed = 0, leftovers = 0;
    for (int k = 0; k < kills; ++k) {
        const size_t which = random() % saves.size();
        const pid_t child = start(which, k + 1);
        const auto wait = std::chrono::microseconds(int64_t(seconds[which] * 1e6 * (random() % 1000) / 1000.0));
        std::this_thread::sleep_for(wait);
        ::kill(child, SIGKILL);
        int raw = 0;
        ASSERT_EQ(::waitpid(child, &raw, 0), child);
        if (WIFSIGNALED(raw)) ++killed;
        for (const auto& e : fs::recursive_directory_iterator(root_)) {
            if (!e.is_regular_file()) continue;
            const std::string name = e.path().filename().string();
            // A temporary of a killed process: never a file anyone reads.
            if (name.starts_with(".tv") && name.ends_with(".tmp")) {
                ++leftovers;
                fs::remove(e.path());
                continue;
            }
            EXPECT_EQ(damage(e.path()), "") << e.path() << " after killing save " << which;
        }
        for (const char* file : {"saved.q1q", "doc.psd", "out.png", "out.tif", "home/Terravane cached clouds 04"})
            EXPECT_TRUE(fs::exists(root_ / file)) << file << " is lost";
    }
    std::printf("%d saves killed of %d; %d temporaries left by them\n", killed, kills, leftovers);
    EXPECT_GT(killed, kills / 2);
}

}  // namespace
}  // namespace tv
