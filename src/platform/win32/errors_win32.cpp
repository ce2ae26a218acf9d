#include "platform/errors.h"

#include "platform/win32/wide.h"

namespace tv::platform {

void clearLastError() { SetLastError(0); }

std::string lastErrorText() {
    const DWORD code = GetLastError();
    if (code == 0) return std::string();
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n > 0 && text) {
        out = win32::narrow(std::wstring_view(text, n));
        // The system's text ends with a full stop and a line break.
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
            out.pop_back();
    }
    if (text) LocalFree(text);
    return out.empty() ? "system error " + std::to_string(code) : out;
}

}  // namespace tv::platform
