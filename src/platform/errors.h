// The operating system's own words for why the last file operation failed
// ("No such file or directory", "Permission denied"), for messages.
#pragma once

#include <string>

namespace tv::platform {

// Forgets the last failure: call before the operation whose reason is wanted.
void clearLastError();
// The reason of the last failed system call since clearLastError(); empty
// when none was recorded.
std::string lastErrorText();

}  // namespace tv::platform
