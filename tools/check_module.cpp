// Checks a Windows plug-in module file without loading it, as a host lists
// its plug-ins:
//
//   tool_check_module FILE.8bf x86|x64
//
// The file must be a DLL for that machine whose "PIPL" resource 16000 parses
// as a filter's property list naming `PluginMain` under the code property of
// that machine ('wx86' for x86, '8664' for x64), and whose "AETE" resource
// parses as the terminology it announces. Prints what it found; exit 0 when
// all holds, 1 otherwise.
#include <cstdio>
#include <string>
#include <vector>

#include "host/pi/module_file.h"
#include "host/pi/resources.h"
#include "platform/files.h"

namespace {
int failed(const std::string& why) {
    std::fprintf(stderr, "tool_check_module: %s\n", why.c_str());
    return 1;
}
}  // namespace

int main(int argc, char** argv) {
    using namespace tv::pi;
    if (argc != 3) return failed("usage: tool_check_module FILE.8bf x86|x64");
    const std::string path = argv[1], arch = argv[2];
    std::vector<uint8_t> file;
    if (!tv::platform::readFile(path, file, size_t(1) << 28)) return failed("cannot read " + path);
    std::string why;
    ModuleFileInfo info;
    if (!readModuleFileInfo(file.data(), file.size(), info, &why)) return failed(path + ": " + why);
    const uint16_t machine = arch == "x86" ? kMachineX86 : kMachineX64;
    if (info.machine != machine || !info.dll) return failed(path + ": not a " + arch + " DLL");
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (!findModuleResource(file.data(), file.size(), "PIPL", 16000, bytes, length, &why))
        return failed(path + ": PIPL 16000: " + why);
    PropertyListInfo pipl;
    if (!parsePropertyList(bytes, length, pipl, &why)) return failed(path + ": PIPL 16000: " + why);
    const uint32_t code = arch == "x86" ? kCodeWin32X86 : kCodeWin64X86;
    if (pipl.kind != fourCC('8', 'B', 'F', 'M') || pipl.entryPoint != "PluginMain" || pipl.codeProperty != code)
        return failed(path + ": the property list does not name PluginMain under the " + arch + " code property");
    if (!pipl.hasTerminology) return failed(path + ": the property list announces no terminology");
    if (!findModuleResource(file.data(), file.size(), "AETE", uint16_t(pipl.terminologyId), bytes, length, &why))
        return failed(path + ": AETE: " + why);
    Terminology aete;
    if (!parseTerminology(bytes, length, aete, &why)) return failed(path + ": AETE: " + why);
    const char c[5] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
    std::printf("%s: %s DLL; PiPL: \"%s\" in \"%s\", %d properties, '%s' = %s; AETE: %zu parameters, %zu enumerators\n",
                path.c_str(), arch.c_str(), pipl.name.c_str(), pipl.category.c_str(), pipl.propertyCount, c,
                pipl.entryPoint.c_str(), aete.parameters.size(), aete.enumerators.size());
    return 0;
}
