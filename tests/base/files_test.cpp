// The working folder, whole-file writes and reads, path names, and the
// bounded byte reader.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "base/bytes.h"
#include "platform/files.h"

namespace tv {
namespace {

using Files = test::TempHome;

std::string contents(const std::string& path) {
    std::vector<uint8_t> back;
    return platform::readFile(path, back) ? std::string(back.begin(), back.end()) : "<unreadable>";
}

TEST_F(Files, TheWorkingFolderIsCreatedPrivate) {
    ::setenv("TERRAVANE_HOME", path("new/home").c_str(), 1);
    const std::string folder = platform::workingFolder();
    EXPECT_EQ(folder, path("new/home") + "/");
    EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);
    EXPECT_EQ(platform::workingFile("Terravane undo 0"), folder + "Terravane undo 0");
}

TEST_F(Files, WritesReplaceWholeOrNotAtAll) {
    const std::string target = platform::workingFile("target");
    const std::vector<uint8_t> longer(1000, 'x');
    ASSERT_EQ(platform::writeFileAtomic(target, longer.data(), longer.size()), platform::kFileOk);
    ASSERT_EQ(platform::writeFileAtomic(target, "abc", 3), platform::kFileOk);
    EXPECT_EQ(contents(target), "abc");
    {
        platform::FileWriter w;
        ASSERT_EQ(w.open(target), platform::kFileOk);
        ASSERT_TRUE(w.write("partial", 7));
    }  // destroyed without commit: the old file stays
    EXPECT_EQ(contents(target), "abc");
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::listFolder(platform::workingFolder(), entries));
    ASSERT_EQ(entries.size(), 1u);  // no temporaries left
    EXPECT_EQ(platform::writeFileAtomic((root_ / "no" / "such" / "file").string(), "x", 1), platform::kFileOpenError);
    // A read refuses a file above its limit.
    std::vector<uint8_t> back;
    EXPECT_FALSE(platform::readFile(target, back, 2));
    EXPECT_TRUE(back.empty());
    EXPECT_TRUE(platform::readFile(target, back, 3));
}

TEST(PathNames, SplitIntoFolderStemAndExtension) {
    EXPECT_EQ(platform::fileNameOf("a/b/Red Moon.q1q"), "Red Moon.q1q");
    EXPECT_EQ(platform::stemOf("a/b/Red Moon.q1q"), "Red Moon");
    EXPECT_EQ(platform::extensionOf("a/b/Red Moon.q1q"), ".q1q");
    EXPECT_EQ(platform::folderOf("a/b/Red Moon.q1q"), "a/b");
    EXPECT_EQ(platform::folderOf("plain"), ".");
    EXPECT_EQ(platform::extensionOf("a.b/noext"), "");
}

TEST(Bytes, ReaderNeverPassesTheEndAndFloatsSaturate) {
    ByteWriter w;
    w.i32(-1);
    w.scaledFloat(0.27450982f);
    w.countedText("hi");
    for (float f : {1e9f, -1e9f, std::numeric_limits<float>::quiet_NaN()}) w.scaledFloat(f);
    ByteReader r(w.data());
    int32_t v;
    float f;
    ASSERT_TRUE(r.i32(v) && v == -1);
    ASSERT_TRUE(r.scaledFloat(f));
    EXPECT_FLOAT_EQ(f, 0.2745f);
    ASSERT_TRUE(r.i32(v) && v == 2);
    EXPECT_TRUE(r.skip(3));
    for (int32_t expected : {INT32_MAX, INT32_MIN, 0}) {
        ASSERT_TRUE(r.i32(v));
        EXPECT_EQ(v, expected);
    }
    EXPECT_FALSE(r.i32(v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(r.ok());
}

}  // namespace
}  // namespace tv
