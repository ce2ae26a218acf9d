// A fresh working folder per test: TERRAVANE_HOME points into a temporary
// folder that is removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tv::test {

class TempHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                ("tv-clouds-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "home");
        ::setenv("TERRAVANE_HOME", (root_ / "home").c_str(), 1);
        // Never the real servers: a test that wants one sets its own.
        for (const char* name : {"TERRAVANE_IMAGE_SERVER_1", "TERRAVANE_IMAGE_SERVER_2", "TERRAVANE_LIST_SERVER"})
            ::setenv(name, "http://127.0.0.1:1", 1);
        // Straight to the local test servers, whatever proxy the machine has.
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    std::string home() const { return (root_ / "home").string() + "/"; }
    std::string scratch(const std::string& name) const { return (root_ / name).string(); }
    std::filesystem::path root_;
};

}  // namespace tv::test
