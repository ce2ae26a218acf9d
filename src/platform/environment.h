// The process's environment variables.
#pragma once

#include <string>

namespace tv::platform {

// The value of name, or empty when it is not set.
std::string environmentValue(const char* name);
void setEnvironmentValue(const char* name, const std::string& value);
void unsetEnvironmentValue(const char* name);

}  // namespace tv::platform
