// The descriptor encoding a host keeps in handles and in its recorded-descriptor file.
#include <cstddef>
#include <cstdint>

#include "host/pi/memory_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::pi::MemoryDescriptor d;
    if (tv::pi::decodeDescriptor(data, size, d)) {
        const auto again = tv::pi::encodeDescriptor(d);
        if (again.size() != size) __builtin_trap();
    }
    return 0;
}
