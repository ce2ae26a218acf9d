#include "platform/console.h"
#include "platform/win32/wide.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

namespace tv::platform {

bool stderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void useBinaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int n = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(win32::narrow(wide[i]));
    LocalFree(wide);
    return out;
}

}  // namespace tv::platform
