// The limits of a download, each against a server on 127.0.0.1: the size cap,
// the connect and stall time-outs, the number of redirects, certificate
// checks, netrc files others may read, and credentials never shown.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "../support/terravane.h"
#include "clouds/download.h"
#include "local_server.h"
#include "platform/files.h"
#include "platform/http.h"

namespace tv {
namespace {

using test::Answer;
using test::LocalServer;

// A listening socket on 127.0.0.1 whose connections one function serves, in
// a thread of its own.
class RawServer {
public:
    explicit RawServer(std::function<void(int fd)> serve, int backlog = 8) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, backlog);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        if (serve)
            thread_ = std::thread([this, serve] {
                pollfd p{listener_, POLLIN, 0};
                while (!stop_)
                    if (::poll(&p, 1, 50) > 0) {
                        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                        if (fd < 0) continue;
                        serve(fd);
                        ::close(fd);
                    }
            });
    }
    ~RawServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listener_);
    }
    std::string url(const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_) + "/clouds.gif";
    }
    int port() const { return port_; }
    const std::atomic<bool>& stopping() const { return stop_; }

private:
    int listener_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Waits until the client closes the connection (or about ten seconds pass).
void waitForClose(int fd, const std::atomic<bool>& stop) {
    char buffer[1024];
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; i < 200 && !stop; ++i)
        if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
}

platform::HttpResult get(const std::string& url, const platform::HttpOptions& options, std::string* body = nullptr) {
    platform::HttpHandlers handlers;
    handlers.context = body;
    handlers.data = [](void* context, const uint8_t* bytes, size_t size) {
        if (context) static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
    return platform::httpGet(url, options, handlers);
}

class DownloadLimits : public test::TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        target = home() + "Terravane clouds.gif";
        ASSERT_TRUE(test::writeText(target, "the old picture"));
    }
    // The old file is intact and nothing else is in the working folder.
    void expectOnlyTheOldFile(const std::string& what) {
        EXPECT_EQ(test::readText(target), "the old picture") << what;
        std::vector<platform::FolderEntry> entries;
        platform::listFolder(home(), entries);
        ASSERT_EQ(entries.size(), 1u) << what;
        EXPECT_EQ(entries[0].name, "Terravane clouds.gif") << what;
    }
    std::string target;
};

TEST_F(DownloadLimits, BodiesBeyondTheCapAreRefusedAndLeaveNothing) {
    EXPECT_EQ(platform::HttpOptions{}.maxBodyBytes, int64_t(64) << 20);
    LocalServer server;
    std::string beyond(size_t(64) << 20, 'c');
    beyond.push_back('!');
    server.answer("/unannounced.gif", {.body = std::move(beyond), .sendLength = false});
    server.answer("/announced.gif", {.body = "tiny", .announcedLength = (int64_t(64) << 20) + 1});
    for (const char* path : {"/unannounced.gif", "/announced.gif"}) {
        std::string detail;
        EXPECT_EQ(downloadFile(server.url(path), target, nullptr, &detail), kDownloadFailed) << path;
        EXPECT_EQ(detail, "the file is larger than 64 MB") << path;
        expectOnlyTheOldFile(path);
    }

    // The cap itself is allowed, a byte more is not, whether announced or not.
    server.answer("/1000", {.body = std::string(1000, 'x')});
    server.answer("/1000-unannounced", {.body = std::string(1000, 'x'), .sendLength = false});
    for (const char* path : {"/1000", "/1000-unannounced"})
        for (const int64_t cap : {1000, 999}) {
            platform::HttpOptions options;
            options.maxBodyBytes = cap;
            std::string body;
            const platform::HttpResult r = get(server.url(path), options, &body);
            EXPECT_EQ(r.outcome, cap == 1000 ? platform::HttpOutcome::Complete : platform::HttpOutcome::TooLarge)
                << path << " " << cap;
            EXPECT_EQ(body.size(), cap == 1000 ? 1000u : 0u) << path << " " << cap;
        }
}

TEST_F(DownloadLimits, ConnectingAndStalledTransfersTimeOut) {
    const platform::HttpOptions defaults;
    EXPECT_EQ(defaults.connectTimeoutSeconds, 15);
    EXPECT_EQ(defaults.stallTimeoutSeconds, 30);
    platform::HttpOptions options;
    options.connectTimeoutSeconds = 1;
    options.stallTimeoutSeconds = 1;

    // A server whose queue of connections is full: the connection is never made.
    {
        RawServer full(nullptr, 0);
        std::vector<int> waiting;
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(uint16_t(full.port()));
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            waiting.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const platform::HttpResult r = get(full.url(), options);
        EXPECT_EQ(r.outcome, platform::HttpOutcome::CannotOpen);
        EXPECT_EQ(r.detail.rfind("no connection within 1 s", 0), 0u) << r.detail;
        for (int fd : waiting) ::close(fd);
    }

    // A server that answers nothing, and one that stops in the middle of the body.
    const char* head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
    for (const bool sendsPart : {false, true}) {
        RawServer* self = nullptr;
        RawServer stalling([&](int fd) {
            if (sendsPart) {
                const std::string part = head + std::string(1000, 'p');
                ::send(fd, part.data(), part.size(), MSG_NOSIGNAL);
            }
            waitForClose(fd, self->stopping());
        });
        self = &stalling;
        std::string body;
        const platform::HttpResult r = get(stalling.url(), options, &body);
        EXPECT_EQ(r.outcome, sendsPart ? platform::HttpOutcome::TransferFailed : platform::HttpOutcome::CannotOpen);
        EXPECT_EQ(r.detail.rfind("nothing arrived for 1 s", 0), 0u) << r.detail;
        EXPECT_EQ(body.size(), sendsPart ? 1000u : 0u);
    }
}

TEST_F(DownloadLimits, AtMostFiveRedirectsAreFollowed) {
    LocalServer server;
    // /hop0 -> /hop1 -> ... -> /hop5 -> /picture.gif
    for (int i = 0; i <= 5; ++i)
        server.answer("/hop" + std::to_string(i),
                      {.status = 302, .location = i < 5 ? "/hop" + std::to_string(i + 1) : "/picture.gif"});
    server.answer("/picture.gif", {.body = "arrived"});
    ASSERT_EQ(downloadFile(server.url("/hop1"), target, nullptr), kDownloadOk);  // five redirects
    EXPECT_EQ(test::readText(target), "arrived");

    ASSERT_TRUE(test::writeText(target, "the old picture"));
    std::string detail;
    EXPECT_EQ(downloadFile(server.url("/hop0"), target, nullptr, &detail), kDownloadCannotOpen);  // six
    EXPECT_EQ(detail, "more than 5 redirects");
    expectOnlyTheOldFile("six redirects");
}

// A TLS server with a certificate of its own making for 127.0.0.1, signed by
// nobody the system trusts.
class SelfSignedServer {
public:
    SelfSignedServer() {
        key_ = EVP_EC_gen("P-256");
        certificate_ = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(certificate_), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate_), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate_), 3600);
        X509_set_pubkey(certificate_, key_);
        X509_NAME* name = X509_get_subject_name(certificate_);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                                   -1, -1, 0);
        X509_set_issuer_name(certificate_, name);
        X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(certificate_, san, -1);
        X509_EXTENSION_free(san);
        X509_sign(certificate_, key_, EVP_sha256());
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(context_, certificate_);
        SSL_CTX_use_PrivateKey(context_, key_);
        server_ = std::make_unique<RawServer>([this](int fd) {
            SSL* ssl = SSL_new(context_);
            SSL_set_fd(ssl, fd);
            helloSeen_ = true;
            if (SSL_accept(ssl) == 1) {
                char request[4096];
                SSL_read(ssl, request, sizeof request);
                const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nsecrets";
                SSL_write(ssl, answer.data(), int(answer.size()));
                SSL_shutdown(ssl);
                served_ = true;
            }
            SSL_free(ssl);
            ERR_clear_error();
        });
    }
    ~SelfSignedServer() {
        server_.reset();
        SSL_CTX_free(context_);
        X509_free(certificate_);
        EVP_PKEY_free(key_);
    }
    std::string url() const { return server_->url("https"); }
    bool helloSeen() const { return helloSeen_; }
    bool served() const { return served_; }

private:
    EVP_PKEY* key_ = nullptr;
    X509* certificate_ = nullptr;
    SSL_CTX* context_ = nullptr;
    std::atomic<bool> helloSeen_{false}, served_{false};
    std::unique_ptr<RawServer> server_;
};

TEST_F(DownloadLimits, AnHttpsServerWithoutATrustedCertificateIsRefused) {
    SelfSignedServer server;
    std::string body;
    const platform::HttpResult r = get(server.url(), platform::HttpOptions{}, &body);
    EXPECT_EQ(r.outcome, platform::HttpOutcome::CannotOpen);
    EXPECT_NE(r.detail.find("certificate"), std::string::npos) << r.detail;
    EXPECT_TRUE(server.helloSeen());
    EXPECT_FALSE(server.served());
    EXPECT_TRUE(body.empty());

    std::string detail;
    EXPECT_EQ(downloadFile(server.url(), target, nullptr, &detail), kDownloadCannotOpen);
    expectOnlyTheOldFile("https");
}

TEST_F(DownloadLimits, ANetrcFileOthersMayReadIsNotUsed) {
    LocalServer server;
    server.answer("/private.gif", {.body = "netrc clouds", .basicAuth = "alto:cumulus"});
    // The user's own ~/.netrc (HOME is the test's folder) and a given one.
    const std::string own = std::string(std::getenv("HOME")) + "/.netrc", given = path("netrc");
    for (const std::string& netrc : {own, given}) {
        ASSERT_TRUE(test::writeText(netrc, "machine 127.0.0.1 login alto password cumulus\n"));
        DownloadHooks hooks;
        hooks.netrcPath = netrc == own ? nullptr : netrc.c_str();
        for (const auto mode : {std::filesystem::perms(0644), std::filesystem::perms(0640),
                                std::filesystem::perms(0604), std::filesystem::perms(0600)}) {
            std::filesystem::permissions(netrc, mode);
            const bool private_ = mode == std::filesystem::perms(0600);
            std::string detail;
            const int rc = downloadFile(server.url("/private.gif"), target, &hooks, &detail);
            EXPECT_EQ(rc, private_ ? kDownloadOk : kDownloadCannotOpen) << netrc << " " << int(mode) << ": " << detail;
            if (!private_) {
                EXPECT_NE(detail.find(netrc + " was not used: others may read it"), std::string::npos) << detail;
                EXPECT_EQ(detail.find("cumulus"), std::string::npos) << detail;
            }
        }
        EXPECT_EQ(test::readText(target), "netrc clouds");
        std::filesystem::remove(netrc);
    }
}

TEST_F(DownloadLimits, NoCommandPrintsACredential) {
    const std::string secret = "Sup3rS3cret", wrong = "Wr0ngS3cret";
    LocalServer server;
    server.answer("/data/geo/west/latest_west_ir4_fd.gif", {.body = "not a gif", .basicAuth = "cirrus:" + secret});
    const std::string netrc = std::string(std::getenv("HOME")) + "/.netrc";
    auto terravane = [&](const std::string& args) {
        const test::Result r = test::runTerravane(root_, args);
        EXPECT_EQ((r.out + r.err).find(secret), std::string::npos) << args << ": " << r.out << r.err;
        EXPECT_EQ((r.out + r.err).find(wrong), std::string::npos) << args << ": " << r.out << r.err;
        return r;
    };
    ::setenv("TERRAVANE_IMAGE_SERVER_1", server.base().c_str(), 1);
    for (const auto& [password, mode, says] :
         {std::tuple{wrong, 0600, "401"}, std::tuple{secret, 0644, "others may read it"},
          std::tuple{secret, 0600, "could not be converted"}}) {
        ASSERT_TRUE(test::writeText(netrc, "machine 127.0.0.1 login cirrus password " + password + "\n"));
        std::filesystem::permissions(netrc, std::filesystem::perms(mode));
        const test::Result r = terravane("clouds fetch 0");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    // Credentials in a server's address are never shown either.
    const std::string withCredentials = "http://cirrus:" + secret + "@127.0.0.1:" + server.base().substr(17);
    for (const char* variable : {"TERRAVANE_IMAGE_SERVER_1", "TERRAVANE_LIST_SERVER"}) {
        ::setenv(variable, withCredentials.c_str(), 1);
        terravane("clouds list");
        terravane("clouds fetch 0");
        terravane("clouds update-list");
        ::setenv(variable, server.base().c_str(), 1);
    }
}

}  // namespace
}  // namespace tv
