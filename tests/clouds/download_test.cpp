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
    bool proxy = false;
    std::string user = "cirrus", password = "stratus";
    bool giveCredentials = true;
    bool cancelAfterData = false;
    int nestedResult = -1;
    std::string nestedUrl, nestedPath;
};

void onStatus(void* context, const char* text) {
    auto& r = *static_cast<Recorder*>(context);
    r.texts.push_back(text);
    if (!r.nestedUrl.empty() && r.nestedResult < 0) r.nestedResult = downloadFile(r.nestedUrl, r.nestedPath, nullptr);
}
bool onCancelled(void* context) {
    auto& r = *static_cast<Recorder*>(context);
    return r.cancelAfterData && r.texts.size() > 1;
}
bool onCredentials(void* context, bool proxy, const char* realm, std::string& user, std::string& password) {
    auto& r = *static_cast<Recorder*>(context);
    ++r.credentialCalls;
    r.realm = realm;
    r.proxy = proxy;
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

TEST_F(DownloadTest, AGoodImageArrivesWholeAndFresh) {
    const auto gif = test::encodeGif(test::earthDisc(200, 180, 10, 5, 170, 20));
    const Answer a{.body = test::asText(gif), .contentType = "image/gif"};
    server.answer("/data/latest.gif", a);
    ASSERT_TRUE(test::writeBytes(target, std::vector<uint8_t>(100000, 'o')));  // a longer older file

    std::string detail;
    ASSERT_EQ(downloadFile(server.url("/data/latest.gif"), target, &hooks, &detail), kDownloadOk) << detail;
    EXPECT_EQ(read(target), a.body);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"Terravane clouds.gif"});
    ASSERT_FALSE(recorder.texts.empty());
    EXPECT_EQ(recorder.texts.front(), "--");
    const std::string last = "100% of " + std::to_string(gif.size() / 1024 > 0 ? gif.size() / 1024 : 1) + "K";
    EXPECT_EQ(recorder.texts.back(), last);
    EXPECT_FALSE(downloadRunning());

    const auto seen = server.requests();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].headers.at("cache-control"), "no-cache");
    EXPECT_EQ(seen[0].headers.at("pragma"), "no-cache");
    EXPECT_EQ(seen[0].headers.at("user-agent"), "Terravane");
}

TEST_F(DownloadTest, AJpegFollowsARedirect) {
    const auto jpeg = test::encodeJpeg(64, 48, test::earthDiscRgb(64, 48, 4, 2, 44));
    server.answer("/archive/today.jpg", {.body = test::asText(jpeg)});
    server.answer("/latest.jpg", {.status = 302, .location = server.url("/archive/today.jpg")});
    ASSERT_EQ(downloadFile(server.url("/latest.jpg"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), test::asText(jpeg));
}

TEST_F(DownloadTest, CredentialsAreAskedForAndTheRequestRetried) {
    server.answer("/private.gif", {.body = "secret clouds", .basicAuth = "cirrus:stratus"});
    ASSERT_EQ(downloadFile(server.url("/private.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), "secret clouds");
    EXPECT_EQ(recorder.credentialCalls, 1);
    EXPECT_EQ(recorder.realm, "satellite archive");
    const auto seen = server.requests();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front().headers.count("authorization"), 0u);
    EXPECT_EQ(seen.back().headers.at("authorization"), "Basic " + test::base64("cirrus:stratus"));

    // Wrong credentials: asked again each round, then refused.
    recorder = Recorder();
    recorder.password = "nimbus";
    std::string detail;
    EXPECT_EQ(downloadFile(server.url("/private.gif"), home() + "other", &hooks, &detail), kDownloadCannotOpen);
    EXPECT_GT(recorder.credentialCalls, 1);
    EXPECT_NE(detail.find("401"), std::string::npos) << detail;
    EXPECT_FALSE(platform::fileExists(home() + "other"));

    // The user declines.
    recorder = Recorder();
    recorder.giveCredentials = false;
    EXPECT_EQ(downloadFile(server.url("/private.gif"), home() + "other", &hooks), kDownloadCannotOpen);
    EXPECT_EQ(recorder.credentialCalls, 1);
}

TEST_F(DownloadTest, AProxyAsksForItsOwnCredentials) {
    // The local server stands in for a proxy: requests reach it with the whole URL as path.
    server.answer("http://clouds.invalid/x.gif", {.body = "through the proxy", .proxyAuth = "cirrus:stratus"});
    ::setenv("http_proxy", server.base().c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    const int rc = downloadFile("http://clouds.invalid/x.gif", target, &hooks);
    ::unsetenv("http_proxy");
    ASSERT_EQ(rc, kDownloadOk);
    EXPECT_EQ(read(target), "through the proxy");
    EXPECT_EQ(recorder.credentialCalls, 1);
    EXPECT_TRUE(recorder.proxy);
    EXPECT_EQ(recorder.realm, "office proxy");
}

TEST_F(DownloadTest, CredentialsComeFromTheNetrcFileFirst) {
    server.answer("/private.gif", {.body = "netrc clouds", .basicAuth = "alto:cumulus"});
    ASSERT_TRUE(test::writeText(netrc, "machine 127.0.0.1 login alto password cumulus\n"));
    ASSERT_EQ(downloadFile(server.url("/private.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), "netrc clouds");
    EXPECT_EQ(recorder.credentialCalls, 0);
}

TEST_F(DownloadTest, ABodyWithoutLengthIsSavedWhole) {
    Answer a;
    for (int i = 0; i < 5000; ++i) a.body += char('a' + i % 26);
    a.sendLength = false;
    server.answer("/nolength.gif", a);
    ASSERT_EQ(downloadFile(server.url("/nolength.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(read(target), a.body);
    EXPECT_TRUE(sawText("File unavailable."));
}

TEST_F(DownloadTest, OneDownloadAtATime) {
    server.answer("/a.gif", {.body = "first"});
    recorder.nestedUrl = server.url("/a.gif");
    recorder.nestedPath = home() + "nested";
    ASSERT_EQ(downloadFile(server.url("/a.gif"), target, &hooks), kDownloadOk);
    EXPECT_EQ(recorder.nestedResult, kDownloadFailed);
    EXPECT_FALSE(platform::fileExists(home() + "nested"));
    // Once it is over the next one runs.
    EXPECT_EQ(downloadFile(server.url("/a.gif"), home() + "after", nullptr), kDownloadOk);
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
