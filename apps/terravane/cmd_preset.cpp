// terravane preset: settings as JSON.
#include <cstdio>
#include <string>

#include "cli_common.h"
#include "commands.h"
#include "json_writer.h"

namespace tv::cli {

int runPreset(int argc, char** argv) {
    constexpr const char* kCommand = "preset";
    if (argc < 2) return failWith(kCommand, "expected a sub-command: show");
    const std::string sub = argv[1];
    if (sub == "--help" || sub == "-h") {
        std::printf("usage: terravane preset show    print the default settings as JSON\n");
        return 0;
    }
    if (sub != "show") return failWith(kCommand, "unknown sub-command \"" + sub + "\" (expected show)");
    if (argc > 2) return failWith(kCommand, "reading settings files is not available in this build");
    const std::string json = settingsJson(defaultRecord());
    std::fwrite(json.data(), 1, json.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace tv::cli
