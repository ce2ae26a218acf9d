// Where the user's netrc file is. Windows keeps no owner/group/other mode
// bits: whether others may read a file is a matter of its access list, which
// is not examined here (a file in the user's profile is private by default).
#include "platform/files.h"
#include "platform/netrc.h"
#include "platform/win32/wide.h"

namespace tv::platform {

std::vector<std::string> userNetrcFiles() {
    std::vector<std::string> files;
    for (const wchar_t* variable : {L"HOME", L"USERPROFILE"}) {
        const std::string folder = win32::environment(variable);
        if (folder.empty()) continue;
        files.push_back(joinPath(folder, "_netrc"));
        files.push_back(joinPath(folder, ".netrc"));
    }
    return files;
}

bool readableByOthers(const std::string&) { return false; }

}  // namespace tv::platform
