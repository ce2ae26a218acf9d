// Loading a plug-in module (a shared library) and finding its exports.
#pragma once

#include <string>

namespace tv::platform {

struct LoadedModule;

// Null with a reason when the module cannot be loaded.
LoadedModule* loadModule(const std::string& path, std::string* error);
void* moduleSymbol(LoadedModule* module, const char* name);
void unloadModule(LoadedModule* module);

// The folder of the running executable (where the module is installed).
std::string executableFolder();
// The module's file name on this system.
const char* pluginModuleFileName();

}  // namespace tv::platform
