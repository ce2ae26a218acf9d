// Writes the module's binary resources for the Windows build:
//
//   tool_module_resources DIR
//
// DIR/pipl-wx86.bin and DIR/pipl-8664.bin (the property list naming the entry
// point for 32- and 64-bit code) and DIR/aete.bin (the terminology): the same
// bytes the Linux module hands out.
#include <cstdio>
#include <string>
#include <vector>

#include "host/pi/resources.h"
#include "platform/files.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tool_module_resources DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    struct Output {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Output outputs[] = {
        {"pipl-wx86.bin", tv::pi::buildPropertyList(tv::pi::kCodeWin32X86)},
        {"pipl-8664.bin", tv::pi::buildPropertyList(tv::pi::kCodeWin64X86)},
        {"aete.bin", tv::pi::buildTerminology()},
    };
    for (const Output& o : outputs) {
        const std::string path = tv::platform::joinPath(dir, o.name);
        if (tv::platform::writeFileAtomic(path, o.bytes.data(), o.bytes.size()) != tv::platform::kFileOk) {
            std::fprintf(stderr, "tool_module_resources: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
