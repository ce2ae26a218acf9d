#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "platform/files.h"

namespace tv {
namespace {

using WorkingFolderTest = test::TempHome;

TEST_F(WorkingFolderTest, IsCreatedPrivateAndEndsInASeparator) {
    ::setenv("TERRAVANE_HOME", path("new/home").c_str(), 1);
    const std::string folder = platform::workingFolder();
    EXPECT_EQ(folder, path("new/home") + "/");
    EXPECT_TRUE(platform::isFolder(folder));
    const auto perms = std::filesystem::status(folder).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_all);
    EXPECT_EQ(platform::workingFile("Terravane undo 0"), folder + "Terravane undo 0");
}

TEST_F(WorkingFolderTest, AtomicWriteReplacesWholeAndLeavesNoTemporaries) {
    const std::string path = platform::workingFile("target");
    std::vector<uint8_t> longer(1000, 'x');
    ASSERT_EQ(platform::writeFileAtomic(path, longer.data(), longer.size()), platform::kFileOk);
    ASSERT_EQ(platform::writeFileAtomic(path, "abc", 3), platform::kFileOk);
    std::vector<uint8_t> back;
    ASSERT_TRUE(platform::readFile(path, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), "abc");
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::listFolder(platform::workingFolder(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "target");
}

TEST_F(WorkingFolderTest, AbandonedWriterLeavesTheOldFile) {
    const std::string path = platform::workingFile("keep");
    ASSERT_EQ(platform::writeFileAtomic(path, "good", 4), platform::kFileOk);
    {
        platform::FileWriter w;
        ASSERT_EQ(w.open(path), platform::kFileOk);
        ASSERT_TRUE(w.write("partial", 7));
    }  // destroyed without commit
    std::vector<uint8_t> back;
    ASSERT_TRUE(platform::readFile(path, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), "good");
}

TEST_F(WorkingFolderTest, WritingIntoAMissingFolderFailsCleanly) {
    const std::string path = (root_ / "no" / "such" / "file").string();
    EXPECT_EQ(platform::writeFileAtomic(path, "x", 1), platform::kFileOpenError);
    std::vector<uint8_t> back;
    EXPECT_FALSE(platform::readFile(path, back));
}

TEST_F(WorkingFolderTest, ReadRefusesFilesAboveTheLimit) {
    const std::string path = platform::workingFile("big");
    std::vector<uint8_t> data(100, 1);
    ASSERT_EQ(platform::writeFileAtomic(path, data.data(), data.size()), platform::kFileOk);
    std::vector<uint8_t> back;
    EXPECT_FALSE(platform::readFile(path, back, 99));
    EXPECT_TRUE(back.empty());
    EXPECT_TRUE(platform::readFile(path, back, 100));
}

TEST(PathNames, SplitIntoFolderStemAndExtension) {
    EXPECT_EQ(platform::fileNameOf("a/b/Red Moon.q1q"), "Red Moon.q1q");
    EXPECT_EQ(platform::stemOf("a/b/Red Moon.q1q"), "Red Moon");
    EXPECT_EQ(platform::extensionOf("a/b/Red Moon.q1q"), ".q1q");
    EXPECT_EQ(platform::folderOf("a/b/Red Moon.q1q"), "a/b");
    EXPECT_EQ(platform::folderOf("plain"), ".");
    EXPECT_EQ(platform::extensionOf("a.b/noext"), "");
}

TEST(Bytes, ReaderNeverPassesTheEnd) {
    ByteWriter w;
    w.i32(-1);
    w.scaledFloat(0.27450982f);
    w.countedText("hi");
    ByteReader r(w.data());
    int32_t v;
    float f;
    ASSERT_TRUE(r.i32(v));
    EXPECT_EQ(v, -1);
    ASSERT_TRUE(r.scaledFloat(f));
    EXPECT_FLOAT_EQ(f, 0.2745f);
    ASSERT_TRUE(r.i32(v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(r.skip(3));
    EXPECT_FALSE(r.i32(v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(r.ok());

    // Floats beyond a word's range saturate; NaN is 0.
    ByteWriter far;
    far.scaledFloat(1e9f);
    far.scaledFloat(-1e9f);
    far.scaledFloat(std::numeric_limits<float>::quiet_NaN());
    far.scaledFloat(-1354.5f);
    ByteReader back(far.data());
    for (int32_t expected : {INT32_MAX, INT32_MIN, 0, -135450000}) {
        ASSERT_TRUE(back.i32(v));
        EXPECT_EQ(v, expected);
    }
}

}  // namespace
}  // namespace tv
