#include <cstdlib>

#include "platform/environment.h"

namespace tv::platform {

std::string environmentValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

void setEnvironmentValue(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void unsetEnvironmentValue(const char* name) { ::unsetenv(name); }

}  // namespace tv::platform
