// A fresh working folder per test (TERRAVANE_HOME), removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tv::testing {

class TempHome : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                ("tv-persist-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        home_ = root_ / "home";
        ::setenv("TERRAVANE_HOME", home_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }
    std::string inRoot(const std::string& name) const { return (root_ / name).string(); }
    std::filesystem::path root_;
    std::filesystem::path home_;
};

}  // namespace tv::testing
