// Runs the built terravane command in a fresh folder with its own working
// folder (TERRAVANE_HOME), as a user would from a shell.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "image_io.h"

namespace tv::cli {

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = std::filesystem::temp_directory_path() /
                ("tv-cli-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "home");
        ::setenv("TERRAVANE_HOME", (root_ / "home").c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    struct Run {
        int status = -1;
        std::string out, err;
    };

    // Runs terravane with the arguments (already shell-quoted where needed).
    Run run(const std::string& args) {
        const std::string outFile = (root_ / "stdout.txt").string(), errFile = (root_ / "stderr.txt").string();
        const std::string cmd = "cd '" + root_.string() + "' && '" + std::string(TV_BINARY_DIR) + "/terravane' " +
                                args + " >'" + outFile + "' 2>'" + errFile + "' </dev/null";
        Run r;
        const int raw = std::system(cmd.c_str());
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(outFile);
        r.err = slurp(errFile);
        return r;
    }
    static std::string slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string path(const std::string& name) const { return (root_ / name).string(); }
    bool exists(const std::string& name) const { return std::filesystem::exists(root_ / name); }
    // Nothing but the output, the captured streams and the working folder.
    size_t entries() const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(root_)) {
            const std::string name = e.path().filename().string();
            if (name != "home" && name != "stdout.txt" && name != "stderr.txt") ++n;
        }
        return n;
    }

    std::filesystem::path root_;
};

}  // namespace tv::cli
