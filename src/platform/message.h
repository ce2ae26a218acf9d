// A small modal message from the module (refusals). Without a window peer the
// text goes to the standard error stream.
#pragma once

namespace tv::platform {

void showMessage(const char* title, const char* text);

}  // namespace tv::platform
