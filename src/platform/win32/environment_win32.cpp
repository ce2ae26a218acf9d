// The environment through the system's own block, which the host executable
// and a module loaded into it share (the C runtime's copy would not carry a
// value the host set after start-up to the module).
#include "platform/environment.h"
#include "platform/win32/wide.h"

namespace tv::platform {

std::string environmentValue(const char* name) { return win32::environment(win32::widen(name).c_str()); }

void setEnvironmentValue(const char* name, const std::string& value) {
    SetEnvironmentVariableW(win32::widen(name).c_str(), win32::widen(value).c_str());
}

void unsetEnvironmentValue(const char* name) { SetEnvironmentVariableW(win32::widen(name).c_str(), nullptr); }

}  // namespace tv::platform
