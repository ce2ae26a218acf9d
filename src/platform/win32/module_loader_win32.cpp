#include <cctype>

#include "platform/module_loader.h"
#include "platform/win32/wide.h"

namespace tv::platform {

struct LoadedModule {
    HMODULE handle = nullptr;
};

LoadedModule* loadModule(const std::string& path, std::string* error) {
    // The module's own dependencies are looked up beside it first.
    HMODULE h = LoadLibraryExW(win32::widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!h) {
        if (error) *error = "cannot load " + path + ": " + win32::errorText(GetLastError());
        return nullptr;
    }
    return new LoadedModule{h};
}

void* moduleSymbol(LoadedModule* module, const char* name) {
    return module ? reinterpret_cast<void*>(GetProcAddress(module->handle, name)) : nullptr;
}

void unloadModule(LoadedModule* module) {
    if (!module) return;
    FreeLibrary(module->handle);
    delete module;
}

const uint8_t* moduleResource(LoadedModule* module, uint32_t type, int16_t id, size_t* size) {
    if (size) *size = 0;
    if (!module) return nullptr;
    wchar_t name[5];
    for (int i = 0; i < 4; ++i) name[i] = wchar_t(std::toupper(int((type >> (24 - 8 * i)) & 0xFF)));
    name[4] = L'\0';
    HRSRC found = FindResourceW(module->handle, MAKEINTRESOURCEW(uint16_t(id)), name);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(module->handle, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return nullptr;
    if (size) *size = SizeofResource(module->handle, found);
    return static_cast<const uint8_t*>(bytes);
}

std::string executableFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? "." : win32::narrow(path.substr(0, at));
}

const char* pluginModuleFileName() {
    return sizeof(void*) == 8 ? "Terravane-193 64bit.8bf" : "Terravane-193 32bit.8bf";
}

}  // namespace tv::platform
