#include <cerrno>
#include <cstring>

#include "platform/errors.h"

namespace tv::platform {

void clearLastError() { errno = 0; }

std::string lastErrorText() { return errno != 0 ? std::string(std::strerror(errno)) : std::string(); }

}  // namespace tv::platform
