// The Windows module file reader (PE headers and resource directory) on
// arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/pi/module_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::pi::ModuleFileInfo info;
    std::string error;
    tv::pi::readModuleFileInfo(data, size, info, &error);
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (tv::pi::findModuleResource(data, size, "PIPL", 16000, bytes, length, &error)) {
        // What is found lies inside the file.
        if (bytes < data || length > size || size_t(bytes - data) > size - length) __builtin_trap();
    }
    return 0;
}
