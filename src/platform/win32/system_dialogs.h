// The system's own dialogs for the Win32 window peer, each run with the
// module's visual-styles context active and owned by the given window.
// Internal to src/platform/win32.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/wide.h"
#include "platform/window.h"

namespace tv::platform::win32 {

// The open or save dialog; an open dialog with a picture source gets the
// preview panel beside its list. False when cancelled, and at once while
// another file dialog is up.
bool runFileDialog(HWND owner, const FileRequest& request, std::string& path);
// An open dialog whose answer is the folder of the chosen file.
bool runFolderDialog(HWND owner, const std::string& prompt, std::string& folder);
// The colour dialog; rgb is the initial colour and receives the choice.
// custom: the 16 custom colours (0x00RRGGBB) the dialog shows and may change.
bool runColourDialog(HWND owner, const std::string& prompt, uint8_t rgb[3], uint32_t custom[kCustomColourCount]);
void runMessageBox(HWND owner, const std::string& title, const std::string& text);

}  // namespace tv::platform::win32
