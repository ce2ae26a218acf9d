// The netrc reader on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/netrc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tv::platform::NetrcEntry entry;
    tv::platform::findNetrcEntry(text, "127.0.0.1", entry);
    tv::platform::urlHost(text);
    return 0;
}
