// The working folder, whole-file writes and reads, path names, and the
// bounded byte reader.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST_F(Files, WritesKeepLinksPermissionsAndLongNames) {
    // The longest name a folder may hold: the temporary's name stays short.
    const std::string longest = path(std::string(255, 'n'));
    ASSERT_EQ(platform::writeFileAtomic(longest, "long", 4), platform::kFileOk);
    EXPECT_EQ(contents(longest), "long");
    // A symbolic link stays a link; the file it leads to is replaced.
    ASSERT_EQ(platform::writeFileAtomic(path("real"), "old", 3), platform::kFileOk);
    std::filesystem::create_symlink("real", path("link"));
    ASSERT_EQ(platform::writeFileAtomic(path("link"), "new", 3), platform::kFileOk);
    EXPECT_TRUE(std::filesystem::is_symlink(path("link")));
    EXPECT_EQ(contents(path("real")), "new");
    // A file written over keeps its permissions and group; a new file gets
    // the umask's.
    namespace fs = std::filesystem;
    fs::permissions(path("real"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    struct stat before;
    ASSERT_EQ(::stat(path("real").c_str(), &before), 0);
    ASSERT_EQ(platform::writeFileAtomic(path("real"), "again", 5), platform::kFileOk);
    struct stat after;
    ASSERT_EQ(::stat(path("real").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_EQ(after.st_gid, before.st_gid);
    const mode_t mask = ::umask(027);
    ASSERT_EQ(platform::writeFileAtomic(path("fresh"), "x", 1), platform::kFileOk);
    ::umask(mask);
    ASSERT_EQ(::stat(path("fresh").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
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
