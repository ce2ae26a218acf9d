// The run's persistence through PluginMain: cached settings after a render,
// the dot map kept across runs, the undo file written before the dialog.
#include "../support/plugin.h"

#include "base/bytes.h"
#include "persist/memory_dots.h"
#include "persist/settings_file.h"
#include "platform/files.h"

namespace tv::test {
namespace {

std::vector<int32_t> dotMapWords() {
    std::vector<uint8_t> bytes;
    std::vector<int32_t> words;
    if (!platform::readFile(persist::dotMapPath(), bytes)) return words;
    ByteReader in(bytes);
    int32_t w;
    while (in.i32(w)) words.push_back(w);
    return words;
}

TEST_F(PluginTest, RenderLeavesCachedSettingsAndKeepsTheDotMap) {
    ByteWriter map;
    map.i32(40);
    for (int i = 0; i < kMemoryDotCount; ++i) map.i32(i == 3 ? 1 : 0);
    ASSERT_EQ(platform::writeFileAtomic(persist::dotMapPath(), map.data().data(), map.size()), platform::kFileOk);

    host::HostImage image = host::blankImage(48, 48, 8, false, false);
    ASSERT_EQ(runSilent(image, {}, descriptorWith({{"planet size", 33}, {"random seed", 99}}), nullptr), 0);

    ParamRecord cached = defaultRecord();
    ASSERT_EQ(persist::readSettingsFile(persist::cachedSettingsPath(), persist::ReadMode::Load, &cached, nullptr),
              platform::kFileOk);
    EXPECT_EQ(cached.planetSize, 33);
    EXPECT_EQ(cached.randomSeed, 99);

    const auto words = dotMapWords();
    ASSERT_EQ(words.size(), 26u);
    EXPECT_EQ(words[0], 40);
    EXPECT_EQ(words[1 + 3], 1);
    EXPECT_EQ(words[1 + 4], 0);
}

TEST_F(PluginTest, ADamagedDotMapIsLeftAsItIsWithOneWarning) {
    const std::vector<uint8_t> damaged(50, 7);
    ASSERT_EQ(platform::writeFileAtomic(persist::dotMapPath(), damaged.data(), damaged.size()), platform::kFileOk);
    host::HostImage image = host::blankImage(32, 32, 8, false, false);
    testing::internal::CaptureStderr();
    ASSERT_EQ(runSilent(image, {}, descriptorWith({{"planet size", 33}})), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("Terravane memdot map 3"), std::string::npos) << said;
    std::vector<uint8_t> after;
    ASSERT_TRUE(platform::readFile(persist::dotMapPath(), after));
    EXPECT_EQ(after, damaged);
}

TEST_F(PluginTest, DialogRunWritesTheUndoFileAndCancelWritesNoCachedSettings) {
    host::HostImage image = host::blankImage(48, 48, 8, false, false);
    host::HostOptions options;
    options.playInfo = pi::plugInDialogDisplay;  // the dialog cannot be created here: not accepted
    EXPECT_EQ(runSilent(image, options, descriptorWith({{"sea level", 12}}), nullptr), pi::userCanceledErr);
    ParamRecord undone = defaultRecord();
    ASSERT_EQ(persist::readSettingsFile(platform::workingFile("Terravane undo 1"), persist::ReadMode::Load, &undone,
                                        nullptr),
              platform::kFileOk);
    EXPECT_EQ(undone.seaLevel, 12);
    EXPECT_FALSE(platform::fileExists(persist::cachedSettingsPath()));
    EXPECT_EQ(dotMapWords().size(), 26u);  // the release step still writes the map
}

}  // namespace
}  // namespace tv::test
