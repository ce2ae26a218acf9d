// The property-list and terminology readers a host runs on a module's resources.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/pi/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tv::pi::PropertyListInfo info;
    tv::pi::Terminology terminology;
    std::string error;
    tv::pi::parsePropertyList(data, size, info, &error);
    tv::pi::parseTerminology(data, size, terminology, &error);
    return 0;
}
