// Loading a plug-in module (a shared library) and finding its exports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tv::platform {

struct LoadedModule;

// Null with a reason when the module cannot be loaded.
LoadedModule* loadModule(const std::string& path, std::string* error);
void* moduleSymbol(LoadedModule* module, const char* name);
void unloadModule(LoadedModule* module);
// A binary resource of a loaded module by type (a four-character code such as
// 'PiPL') and id: on Windows from the module's resource section (type named by
// the code's characters in capitals, "PIPL"), elsewhere through the module's
// exported `TerravaneResource`. Null when there is none; the bytes stay valid
// while the module is loaded.
const uint8_t* moduleResource(LoadedModule* module, uint32_t type, int16_t id, size_t* size);

// The folder of the running executable (where the module is installed).
std::string executableFolder();
// The module's file name on this system.
const char* pluginModuleFileName();

}  // namespace tv::platform
