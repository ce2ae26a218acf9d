// Several terravane processes at once in one working folder: renders (of
// presets that reach the module through the cached settings file), presets
// saved, clouds converted and rendered, catalogue pages written. No run fails
// or renders another's planet, and afterwards every file in the working
// folder reads.
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "../support/terravane.h"
#include "clouds/cloud_cache.h"
#include "clouds/jpeg_memory.h"
#include "host/pi/memory_descriptor.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv {
namespace {

// How many processes and operations each: TERRAVANE_TEST_PROCESSES and
// TERRAVANE_TEST_OPERATIONS (scripts/reliability-runs runs hundreds).
int fromEnvironment(const char* name, int otherwise) {
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : otherwise;
}

class ConcurrentRuns : public test::CommandTest {
protected:
    // A preset whose colours need 16 bits, so that it reaches the module
    // through the shared cached settings file rather than a descriptor.
    void writePreset(const std::string& name, int variant) {
        ParamRecord r = defaultRecord();
        r.landColor = {uint16_t(0x1234 + 0x2301 * variant), 0x4567, uint16_t(0x89AB - 0x1111 * variant)};
        r.planetSize = 40 + 15 * variant;
        r.randomSeed = 100 + variant;
        ASSERT_EQ(persist::writeSettingsFile(path(name), r, nullptr), platform::kFileOk);
    }
    // A satellite picture with the Earth disc where catalogue entry 4 has it.
    void writeDisc(const std::string& name) {
        const int w = 1381, h = 1483;
        std::vector<uint8_t> rgb(size_t(w) * h * 3, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int dx = x - (26 + 677), dy = y - (136 + 673);
                if (dx * dx + dy * dy < 670 * 670)
                    std::fill_n(&rgb[(size_t(y) * w + x) * 3], 3, uint8_t(60 + (x * 3 + y * 5) % 190));
            }
        std::vector<uint8_t> jpeg(rgb.size());
        size_t n = 0;
        ASSERT_EQ(jpeg::encodeRgb(rgb.data(), w, h, 80, jpeg.data(), jpeg.size(), &n), jpeg::kOk);
        jpeg.resize(n);
        ASSERT_TRUE(test::writeBytes(path(name), jpeg));
    }
};

TEST_F(ConcurrentRuns, ShareOneWorkingFolder) {
    const int kProcesses = fromEnvironment("TERRAVANE_TEST_PROCESSES", 4);
    const int kOperationsEach = fromEnvironment("TERRAVANE_TEST_OPERATIONS", 12);
    constexpr int kVariants = 3;
    std::filesystem::create_directories(root_ / "presets");
    for (int v = 0; v < kVariants; ++v) writePreset("presets/variant" + std::to_string(v) + ".q1q", v);
    writeDisc("disc.jpeg");
    const std::string small = " --size 40x40 --quiet";
    // What each variant renders to when it runs alone.
    std::vector<std::string> reference;
    for (int v = 0; v < kVariants; ++v) {
        ASSERT_EQ(run("render --preset presets/variant" + std::to_string(v) + ".q1q -o alone.png" + small).status, 0);
        reference.push_back(test::readText(path("alone.png")));
    }
    ASSERT_EQ(run("clouds convert disc.jpeg --entry 4").status, 0);

    // Each process runs its own random mix; it notes every failure in a file.
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child > 0) {
            children.push_back(child);
            continue;
        }
        std::mt19937 random(unsigned(p) * 7919u + 13u);
        std::string failures;
        for (int i = 0; i < kOperationsEach; ++i) {
            const std::string tag = std::to_string(p) + "-" + std::to_string(i);
            const int v = int(random() % kVariants);
            std::string args;
            switch (random() % 5) {
                case 0:
                case 1:
                    args = "render --preset presets/variant" + std::to_string(v) + ".q1q -o render-" +
                           std::to_string(v) + "-" + tag + ".png" + small;
                    break;
                case 2:
                    args = "preset save -o saved-" + tag + ".q1q --set \"planet size=" + std::to_string(20 + i) + "\"";
                    break;
                case 3:
                    args = random() % 2 ? "clouds convert disc.jpeg --entry 4"
                                        : "render --set \"real clouds=1\" --set \"downloaded clouds=4\" -o clouds-" +
                                              tag + ".png" + small;
                    break;
                default:
                    args = "catalogue presets presets -o page-" + tag + ".html --quiet";
                    break;
            }
            const test::Result done = test::runTerravane(root_, args);
            if (done.status != 0) failures += args + ": " + done.err;
        }
        test::writeText(path("failures-" + std::to_string(p)), failures);
        ::_exit(failures.empty() ? 0 : 1);
    }
    for (pid_t child : children) EXPECT_EQ(test::exitStatusOf(child), 0);
    for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(test::readText(path("failures-" + std::to_string(p))), "");

    // Every render shows its own planet; every saved preset and page is whole.
    int renders = 0, saved = 0, pages = 0;
    for (const auto& e : std::filesystem::directory_iterator(root_)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("render-", 0) == 0) {
            ++renders;
            EXPECT_TRUE(test::readText(e.path()) == reference[size_t(name[7] - '0')]) << name << " shows another planet";
        } else if (name.rfind("saved-", 0) == 0) {
            ++saved;
            ParamRecord r = defaultRecord();
            EXPECT_EQ(persist::readSettingsFile(e.path(), persist::ReadMode::Load, &r, nullptr), platform::kFileOk)
                << name;
        } else if (name.rfind("page-", 0) == 0) {
            ++pages;
            const std::string page = test::readText(e.path());
            EXPECT_NE(page.find("</html>"), std::string::npos) << name;
            EXPECT_EQ(test::countOf(page, "web_images/variant"), size_t(kVariants)) << name;
        }
    }
    std::printf("%d processes, %d operations in all\n", kProcesses, kProcesses * kOperationsEach);
    EXPECT_GT(renders, 0);
    EXPECT_GT(saved, 0);
    EXPECT_GT(pages, 0);

    // Every file of the working folder reads, and no temporary is left.
    for (const auto& e : std::filesystem::directory_iterator(home_)) {
        const std::string name = e.path().filename().string();
        const std::vector<uint8_t> bytes = test::readBytes(e.path());
        if (name == "Terravane cached settings D" || name.find("memory dot") != std::string::npos) {
            ParamRecord r = defaultRecord();
            EXPECT_EQ(persist::decodeSettings(bytes.data(), bytes.size(), persist::ReadMode::Load, &r, nullptr),
                      platform::kFileOk)
                << name;
        } else if (name == "Terravane memdot map 3") {
            EXPECT_EQ(bytes.size(), 26u * 4u);
        } else if (name == "Terravane cached clouds 04") {
            CloudMap map;
            EXPECT_EQ(decodeCloudCache(bytes.data(), bytes.size(), 4, map), kCacheOk);
        } else if (name == "Terravane filter run") {
            EXPECT_TRUE(bytes.empty());  // the lock file
        } else if (name == "Terravane host descriptor") {
            pi::MemoryDescriptor d;
            EXPECT_TRUE(pi::decodeDescriptor(bytes.data(), bytes.size(), d));
        } else {
            ADD_FAILURE() << "unexpected file in the working folder: " << name;
        }
    }
}

}  // namespace
}  // namespace tv
