#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "platform/module_loader.h"

namespace tv::platform {

struct LoadedModule {
    void* handle = nullptr;
};

LoadedModule* loadModule(const std::string& path, std::string* error) {
    // Local symbols and immediate binding: a module with a missing symbol
    // fails here, not in the middle of a run.
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        if (error) {
            const char* why = dlerror();
            *error = why ? why : "cannot load " + path;
        }
        return nullptr;
    }
    return new LoadedModule{h};
}

void* moduleSymbol(LoadedModule* module, const char* name) {
    return module ? dlsym(module->handle, name) : nullptr;
}

void unloadModule(LoadedModule* module) {
    if (!module) return;
    dlclose(module->handle);
    delete module;
}

const uint8_t* moduleResource(LoadedModule* module, uint32_t type, int16_t id, size_t* size) {
    using ResourceProc = const unsigned char* (*)(unsigned int, short, int*);
    auto resource = reinterpret_cast<ResourceProc>(moduleSymbol(module, "TerravaneResource"));
    int n = 0;
    const unsigned char* bytes = resource ? resource(type, id, &n) : nullptr;
    if (size) *size = bytes && n > 0 ? size_t(n) : 0;
    return bytes;
}

std::string executableFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string path(buffer, size_t(n));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

const char* pluginModuleFileName() { return "terravane-plugin.so"; }

}  // namespace tv::platform
