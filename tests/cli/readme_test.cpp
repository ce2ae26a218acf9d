// Every command in the README's code blocks runs as written from the
// repository root: in a fresh folder that holds the root's build/, presets/
// and docs/ (linked), one shell line after another, each with exit status 0.
// Not run: "make" lines (the build itself) and lines marked "[online]"
// (they reach servers on the internet). The dialog of an `edit` line is
// answered with OK by a replay (--replay) instead of a person.
#include <sstream>

#include "../support/programs.h"
#include "../support/terravane.h"

namespace tv::test {
namespace {

std::vector<std::string> readmeCommands() {
    std::istringstream in(readText(std::string(TV_SOURCE_DIR) + "/README.md"));
    std::vector<std::string> commands;
    bool inBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("```", 0) == 0) {
            inBlock = !inBlock;
            continue;
        }
        const size_t start = line.find_first_not_of(' ');
        if (!inBlock || start == std::string::npos || line[start] == '#') continue;
        line = line.substr(start);
        if (line.rfind("make ", 0) == 0 || line.find("[online]") != std::string::npos) continue;
        if (line.find("terravane edit") != std::string::npos && line.find("--replay") == std::string::npos)
            line = line.substr(0, line.find(" #")) + " --replay ok.events";
        commands.push_back(line);
    }
    return commands;
}

class ReadmeTest : public CommandTest {};

TEST_F(ReadmeTest, EveryCommandRunsAsWritten) {
    const std::vector<std::string> commands = readmeCommands();
    ASSERT_GE(commands.size(), 20u);
    for (const char* linked : {"presets", "docs"})
        std::filesystem::create_directory_symlink(std::filesystem::path(TV_SOURCE_DIR) / linked, root_ / linked);
    std::filesystem::create_directory_symlink(TV_BINARY_DIR, root_ / "build");
    writeText(path("ok.events"), "ok\n");
    for (const std::string& command : commands) {
        std::string output;
        const int status =
            runCommand("cd '" + root_.string() + "' && { " + command + "\n} </dev/null 2>&1", &output);
        EXPECT_EQ(status, 0) << command << "\n" << output;
    }
    // What the commands were for.
    for (const char* made : {"planet.png", "map.tif", "photo-planet.png", "luna.ppm", "verdance.png", "mars.q1q",
                             "planet.psd", "presets.html", "web_images/Lantern.jpg", "clouded.png",
                             "photo-edited.png", "verdance-hd.png", "dialog.png", "session-dialog.png"})
        EXPECT_TRUE(exists(made)) << made;
    EXPECT_EQ(readText(path("luna.ppm")).rfind("P6\n256 256\n", 0), 0u);
}

}  // namespace
}  // namespace tv::test
