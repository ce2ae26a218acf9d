// A fresh folder per test with its own working folder (TERRAVANE_HOME), removed
// afterwards; no server or proxy of the machine is ever used. Small file helpers.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tv::test {

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string s = readText(path);
    return {s.begin(), s.end()};
}

inline bool writeBytes(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    return bool(out.flush());
}
inline bool writeBytes(const std::string& path, const std::vector<uint8_t>& data) {
    return writeBytes(path, data.data(), data.size());
}
inline bool writeText(const std::string& path, const std::string& text) {
    return writeBytes(path, text.data(), text.size());
}

inline size_t countOf(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

class TempHome : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                ("tv-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(root_);
        home_ = root_ / "home";
        std::filesystem::create_directories(home_);
        std::filesystem::permissions(home_, std::filesystem::perms::owner_all);
        ::setenv("TERRAVANE_HOME", home_.c_str(), 1);
        // Nor the user's own files (~/.netrc): HOME is a folder of the test's
        // too, beside its folder (whose entries tests count).
        if (const char* home = std::getenv("HOME")) userHome_ = home;
        std::filesystem::remove_all(userFolder());
        std::filesystem::create_directories(userFolder());
        ::setenv("HOME", userFolder().c_str(), 1);
        for (const char* name : {"TERRAVANE_IMAGE_SERVER_1", "TERRAVANE_IMAGE_SERVER_2", "TERRAVANE_LIST_SERVER"})
            ::setenv(name, "http://127.0.0.1:1", 1);
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
    }
    void TearDown() override {
        std::filesystem::remove_all(root_);
        std::filesystem::remove_all(userFolder());
        if (!userHome_.empty()) ::setenv("HOME", userHome_.c_str(), 1);
    }

    // A file of the test's folder, and the working folder with its separator.
    std::string path(const std::string& name) const { return (root_ / name).string(); }
    std::string home() const { return home_.string() + "/"; }
    bool exists(const std::string& name) const { return std::filesystem::exists(root_ / name); }

    std::filesystem::path userFolder() const { return root_.string() + "-home"; }

    std::filesystem::path root_, home_;
    std::string userHome_;
};

}  // namespace tv::test
