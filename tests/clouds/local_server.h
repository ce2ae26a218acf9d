// A tiny HTTP/1.1 server on 127.0.0.1 for the download tests: fixed answers
// per path, one connection at a time, every answer closes its connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tv::test {

struct Answer {
    int status = 200;
    std::string body{};
    std::string contentType = "application/octet-stream";
    bool sendLength = true;          // send Content-Length
    int64_t announcedLength = -1;    // announce this length instead of the body's
    std::string basicAuth{};         // "user:password" the request must carry, else 401
    std::string location{};          // a Location header (redirects)
    int chunkDelayMs = 0;            // pause between 1 KB pieces of the body
};

struct SeenRequest {
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
};

class LocalServer {
public:
    LocalServer();
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    void answer(const std::string& path, const Answer& a);
    std::string base() const;  // "http://127.0.0.1:PORT"
    std::string url(const std::string& path) const { return base() + path; }
    std::vector<SeenRequest> requests();

private:
    void run();
    void serve(int fd);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<SeenRequest> seen_;
    std::thread thread_;
};

std::string base64(const std::string& text);
inline std::string asText(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace tv::test
