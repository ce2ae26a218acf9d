#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/temp_home.h"
#include "clouds/download.h"
#include "local_server.h"
#include "platform/files.h"
#include "test_images.h"

namespace tv {
namespace {

using test::Answer;
using test::LocalServer;

struct Recorder {
    std::vector<std::string> texts;
    int credentialCalls = 0;
    std::string realm;
    std::string user = "cirrus", password = "stratus";
    bool giveCredentials = true;
    bool cancelAfterData = false;
};

void onStatus(void* context, const char* text) {
    auto& r = *static_cast<Recorder*>(context);
    r.texts.push_back(text);
}
bool onCancelled(void* context) {
    auto& r = *static_cast<Recorder*>(context);
    return r.cancelAfterData && r.texts.size() > 1;
}
bool onCredentials(void* context, bool, const char* realm, std::string& user, std::string& password) {
    auto& r = *static_cast<Recorder*>(context);
    ++r.credentialCalls;
    r.realm = realm;
    user = r.user;
    password = r.password;
    return r.giveCredentials;
}

class DownloadTest : public test::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        hooks.context = &recorder;
        hooks.status = onStatus;
        hooks.cancelled = onCancelled;
        hooks.credentials = onCredentials;
        netrc = path("netrc");
        hooks.netrcPath = netrc.c_str();  // a file that does not exist: never the user's own
        target = home() + "Terravane clouds.gif";
    }
    std::string read(const std::string& path) { return platform::fileExists(path) ? test::readText(path) : "<missing>"; }
    // Only the target may be left in the working folder: no temporaries.
    std::vector<std::string> folderNames() {
        std::vector<platform::FolderEntry> entries;
        platform::listFolder(home(), entries);
        std::vector<std::string> names;
        for (const auto& e : entries) names.push_back(e.name);
        return names;
    }
    bool sawText(const std::string& text) {
        return std::find(recorder.texts.begin(), recorder.texts.end(), text) != recorder.texts.end();
    }

    LocalServer server;
    Recorder recorder;
    DownloadHooks hooks;
    std::string netrc, target;
};

TEST_F(DownloadTest, AnImageArrivesWholeAndFreshThroughRedirectsAndWithoutALength) {
    const auto gif = test::encodeGif(test::earthDisc(200, 180, 10, 5, 170, 20));
    server.answer("/data/latest.gif", {.body = test::asText(gif), .contentType = "image/gif"});
    ASSERT_TRUE(test::writeBytes(target, std::vector<uint8_t>(100000, 'o')));  // a longer older file
    std::string detail;
    ASSERT_EQ(downloadFile(server.url("/data/latest.gif"), target, &hooks, &detail), kDownloadOk) << detail;
    EXPECT_EQ(read(target), test::asText(gif));
    EXPECT_EQ(folderNames(), std::vector<std::string>{"Terravane clouds.gif"});
    ASSERT_FALSE(recorder.texts.empty());
    EXPECT_EQ(recorder.texts.front(), "--");
    EXPECT_EQ(recorder.texts.back(), "100% of " + std::to_string(gif.size() / 1024) + "K");
    EXPECT_FALSE(downloadRunning());
    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].headers.at("cache-control"), "no-cache");
    EXPECT_EQ(seen[0].headers.at("user-agent"), "Terravane");

    server.answer("/archive/today.jpg", {.body = "today"});
    server.answer("/latest.jpg", {.status = 302, .location = server.url("/archive/today.jpg")});
    ASSERT_EQ(downloadFile(server.url("/latest.jpg"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), "today");
    Answer a{.body = std::string(5000, 'n'), .sendLength = false};
    server.answer("/nolength.gif", a);
    ASSERT_EQ(downloadFile(server.url("/nolength.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), a.body);
    EXPECT_TRUE(sawText("File unavailable."));
}

TEST_F(DownloadTest, CredentialsComeFromTheNetrcFileOrTheUser) {
    server.answer("/private.gif", {.body = "secret clouds", .basicAuth = "cirrus:stratus"});
    ASSERT_EQ(downloadFile(server.url("/private.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), "secret clouds");
    EXPECT_EQ(recorder.credentialCalls, 1);
    EXPECT_EQ(recorder.realm, "satellite archive");
    EXPECT_EQ(server.requests().back().headers.at("authorization"), "Basic " + test::base64("cirrus:stratus"));
    // Wrong credentials: asked again each round, then refused; or the user declines.
    for (bool give : {true, false}) {
        recorder = Recorder();
        recorder.password = "nimbus";
        recorder.giveCredentials = give;
        std::string detail;
        EXPECT_EQ(downloadFile(server.url("/private.gif"), home() + "other", &hooks, &detail), kDownloadCannotOpen);
        EXPECT_EQ(recorder.credentialCalls > 1, give);
        EXPECT_NE(detail.find("401"), std::string::npos) << detail;
        EXPECT_FALSE(platform::fileExists(home() + "other"));
    }
    // The netrc file is asked first.
    recorder = Recorder();
    ASSERT_TRUE(test::writeText(netrc, "machine 127.0.0.1 login cirrus password stratus\n"));
    std::filesystem::permissions(netrc, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_EQ(downloadFile(server.url("/private.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(recorder.credentialCalls, 0);
}

// A port nobody listens on.
int unusedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

TEST_F(DownloadTest, FailuresKeepTheOldFileAndLeaveNoTemporaries) {
    server.answer("/broken.gif", {.status = 500, .body = "oops"});
    server.answer("/short.gif", {.body = std::string(3000, 'c'), .announcedLength = 8000});
    server.answer("/slow.gif", {.body = std::string(64 * 1024, 'z'), .chunkDelayMs = 5});
    const struct {
        std::string url;
        bool cancel;
        int result;
        const char* detail;  // in the failure's description
        const char* status;  // among the status texts
    } cases[] = {
        {server.url("/missing.gif"), false, kDownloadCannotOpen, "404", ""},
        {server.url("/broken.gif"), false, kDownloadCannotOpen, "500", ""},
        {server.url("/short.gif"), false, kDownloadFailed, "", "Connection failed"},
        {server.url("/slow.gif"), true, kDownloadFailed, "", ""},
        {"http://127.0.0.1:" + std::to_string(unusedPort()) + "/x.gif", false, kDownloadCannotOpen, "", ""},
        {"ftp://127.0.0.1/x.gif", false, kDownloadCannotOpen, "", ""},
        {"/data/geo/west/latest_west_ir4_fd.gif", false, kDownloadCannotOpen, "", ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(test::writeText(target, "good"));
        recorder = Recorder();
        recorder.cancelAfterData = c.cancel;
        std::string detail;
        EXPECT_EQ(downloadFile(c.url, target, &hooks, &detail), c.result) << c.url;
        EXPECT_NE(detail.find(c.detail), std::string::npos) << c.url << ": " << detail;
        if (*c.status) {
            EXPECT_TRUE(sawText(c.status)) << c.url;
        }
        EXPECT_EQ(read(target), "good") << c.url;
        EXPECT_EQ(folderNames(), std::vector<std::string>{"Terravane clouds.gif"}) << c.url;
    }
    server.answer("/a.gif", {.body = "clouds"});
    EXPECT_EQ(downloadFile(server.url("/a.gif"), home() + "no such folder/file", &hooks), kDownloadFileError);
}

TEST(DownloadProgress, TextsOfTheStatusLine) {
    const struct {
        int64_t done, total;
        const char* text;
    } cases[] = {{512, 2048, "25% of 2K"},           {0, 500, "0% of 1K"},          {700 * 1024, 700 * 1024, "100% of 700K"},
                 {1, 1, "100% of 1K"},               {2, 1, "File unavailable."}, {5, -1, "File unavailable."}};
    for (const auto& c : cases) EXPECT_EQ(downloadProgressText(c.done, c.total), c.text) << c.done << "/" << c.total;
}

}  // namespace
}  // namespace tv
