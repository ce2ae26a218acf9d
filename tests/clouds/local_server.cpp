#include "local_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace tv::test {

std::string base64(const std::string& text) {
    static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : text) {
        bits = bits << 8 | c;
        for (count += 8; count >= 6; count -= 6) out += kAlphabet[(bits >> (count - 6)) & 63];
    }
    if (count > 0) out += kAlphabet[(bits << (6 - count)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

LocalServer::LocalServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 8);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
}

LocalServer::~LocalServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
}

void LocalServer::answer(const std::string& path, const Answer& a) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[path] = a;
}

std::string LocalServer::base() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::vector<SeenRequest> LocalServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void LocalServer::run() {
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        serve(fd);
        ::close(fd);
    }
}

namespace {

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace

void LocalServer::serve(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, size_t(n));
    }
    SeenRequest seen;
    const size_t lineEnd = request.find("\r\n");
    const std::string line = request.substr(0, lineEnd);
    const size_t s1 = line.find(' '), s2 = line.find(' ', s1 + 1);
    seen.path = line.substr(s1 + 1, s2 - s1 - 1);
    size_t pos = lineEnd + 2;
    for (;;) {
        const size_t end = request.find("\r\n", pos);
        if (end == std::string::npos || end == pos) break;
        const std::string header = request.substr(pos, end - pos);
        const size_t colon = header.find(':');
        if (colon != std::string::npos) {
            std::string name = header.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            size_t v = colon + 1;
            while (v < header.size() && header[v] == ' ') ++v;
            seen.headers[name] = header.substr(v);
        }
        pos = end + 2;
    }
    Answer a;
    bool known;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(seen);
        auto it = answers_.find(seen.path);
        known = it != answers_.end();
        if (known) a = it->second;
    }
    if (!known) {
        a = Answer();
        a.status = 404;
        a.body = "<html>not here</html>";
    }
    auto carries = [&](const char* header, const std::string& credentials) {
        auto it = seen.headers.find(header);
        return credentials.empty() || (it != seen.headers.end() && it->second == "Basic " + base64(credentials));
    };
    const bool authorised = carries("authorization", a.basicAuth);
    std::string head;
    std::string body = a.body;
    if (!authorised) {
        body = "<html>who are you?</html>";
        head = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"satellite archive\"\r\n";
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    } else {
        head = "HTTP/1.1 " + std::to_string(a.status) + (a.status < 300 ? " OK" : " Something") + "\r\n";
        if (a.sendLength)
            head += "Content-Length: " +
                    std::to_string(a.announcedLength >= 0 ? a.announcedLength : int64_t(body.size())) + "\r\n";
        if (!a.location.empty()) head += "Location: " + a.location + "\r\n";
    }
    head += "Content-Type: " + a.contentType + "\r\nConnection: close\r\n\r\n";
    if (!sendAll(fd, head.data(), head.size())) return;
    if (a.chunkDelayMs <= 0 || !authorised) {
        sendAll(fd, body.data(), body.size());
    } else {
        for (size_t at = 0; at < body.size() && !stop_; at += 1024) {
            if (!sendAll(fd, body.data() + at, std::min<size_t>(1024, body.size() - at))) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(a.chunkDelayMs));
        }
    }
    ::shutdown(fd, SHUT_WR);
    // Let the client read everything before the socket closes.
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; i < 40 && ::poll(&p, 1, 50) >= 0; ++i) {
        if (p.revents & (POLLIN | POLLHUP)) {
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
        }
    }
}

}  // namespace tv::test
