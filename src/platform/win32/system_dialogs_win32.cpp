// Open and save dialogs (explorer style, with a hook that centres them over
// the owner and, for files that carry a picture, the template
// "FANCY_OPEN4" whose panel 123 shows the selected file's picture), the
// colour dialog and message boxes.
// windows.h before the common controls and dialogs headers
#include "platform/win32/wide.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "platform/win32/system_dialogs.h"
#include "platform/win32/ui_context.h"

namespace tv::platform::win32 {

namespace {

constexpr int kPreviewPanel = 123;
constexpr DWORD kPathChars = 32768;

// Set while an open or save dialog is up.
bool gFileDialogUp = false;

struct FileDialogState {
    HWND owner = nullptr;
    const FileRequest* request = nullptr;
    FilePicture picture;
    bool hasPicture = false;
};

void showPicture(HWND hook, FileDialogState& st) {
    st.hasPicture = false;
    if (st.request && st.request->picture) {
        std::wstring path(kPathChars, L'\0');
        const LRESULT n =
            SendMessageW(GetParent(hook), CDM_GETFILEPATH, WPARAM(path.size()), reinterpret_cast<LPARAM>(path.data()));
        if (n > 1 && size_t(n) <= path.size()) {
            path.resize(size_t(n) - 1);
            FilePicture picture;
            if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
                !(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) &&
                st.request->picture(narrow(path), picture) && picture.width > 0 && picture.height > 0 &&
                picture.pixels.size() == size_t(picture.width) * size_t(picture.height)) {
                st.picture = std::move(picture);
                st.hasPicture = true;
            }
        }
    }
    if (HWND panel = GetDlgItem(hook, kPreviewPanel)) InvalidateRect(panel, nullptr, TRUE);
}

// The panel: the picture fitted into it, centred, on the dialog's face.
void drawPicture(const DRAWITEMSTRUCT& item, const FileDialogState& st) {
    const RECT& r = item.rcItem;
    FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (!st.hasPicture) return;
    const int boxW = r.right - r.left, boxH = r.bottom - r.top;
    const double fit = std::min(double(boxW) / st.picture.width, double(boxH) / st.picture.height);
    const int w = std::max(1, int(st.picture.width * fit)), h = std::max(1, int(st.picture.height * fit));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = st.picture.width;
    info.bmiHeader.biHeight = -st.picture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetStretchBltMode(item.hDC, HALFTONE);
    SetBrushOrgEx(item.hDC, 0, 0, nullptr);
    StretchDIBits(item.hDC, r.left + (boxW - w) / 2, r.top + (boxH - h) / 2, w, h, 0, 0, st.picture.width,
                  st.picture.height, st.picture.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}

UINT_PTR CALLBACK fileHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    auto* st = reinterpret_cast<FileDialogState*>(GetWindowLongPtrW(hook, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            const auto* ofn = reinterpret_cast<const OPENFILENAMEW*>(lParam);
            SetWindowLongPtrW(hook, DWLP_USER, LONG_PTR(ofn->lCustData));
            return TRUE;
        }
        case WM_NOTIFY: {
            if (!st) break;
            const auto* note = reinterpret_cast<const OFNOTIFYW*>(lParam);
            if (note->hdr.code == CDN_INITDONE) {
                centreWindow(GetParent(hook), st->owner, true);
            } else if (note->hdr.code == CDN_SELCHANGE) {
                showPicture(hook, *st);
            }
            break;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (st && item->CtlID == UINT(kPreviewPanel)) {
                drawPicture(*item, *st);
                SetWindowLongPtrW(hook, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
            break;
        }
        default: break;
    }
    return 0;
}

// "Name\0pattern\0\0"; every file when the pattern is empty or "*".
std::wstring filterOf(const FileRequest& request) {
    const bool all = request.pattern.empty() || request.pattern == "*";
    std::wstring f = widen(all ? "All files (*.*)" : request.filterName);
    f.push_back(L'\0');
    f += widen(all ? "*.*" : request.pattern);
    f.push_back(L'\0');
    f.push_back(L'\0');
    return f;
}

// "*.q1q" gives "q1q"; none for "*", "*.*" or several patterns.
std::wstring defaultExtension(const std::string& pattern) {
    if (pattern.size() < 3 || pattern.compare(0, 2, "*.") != 0) return std::wstring();
    const std::string ext = pattern.substr(2);
    if (ext.find_first_of("*?;") != std::string::npos) return std::wstring();
    return widen(ext);
}

}  // namespace

bool runFileDialog(HWND owner, const FileRequest& request, std::string& path) {
    if (gFileDialogUp) return false;
    gFileDialogUp = true;
    FileDialogState st;
    st.owner = owner;
    st.request = &request;
    std::vector<wchar_t> file(kPathChars, L'\0');
    if (request.save) {
        const std::wstring name = widen(request.initialName);
        std::copy_n(name.begin(), std::min<size_t>(name.size(), kPathChars - 1), file.begin());
    }
    const std::wstring filter = filterOf(request), title = widen(request.title), folder = widen(request.folder);
    const std::wstring extension = defaultExtension(request.pattern);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.hInstance = thisModule();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kPathChars;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
    if (!request.save && request.picture) {
        ofn.Flags |= OFN_ENABLETEMPLATE;
        ofn.lpTemplateName = L"FANCY_OPEN4";
    }
    ofn.lpfnHook = fileHook;
    ofn.lCustData = reinterpret_cast<LPARAM>(&st);
    BOOL ok;
    {
        ActivationScope styles;
        DpiScope dpi;
        ok = request.save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    }
    gFileDialogUp = false;
    if (!ok || file[0] == L'\0') return false;
    path = narrow(file.data());
    return true;
}

bool runFolderDialog(HWND owner, const std::string& prompt, std::string& folder) {
    FileRequest request;
    request.title = prompt;
    request.folder = folder;
    std::string file;
    if (!runFileDialog(owner, request, file)) return false;
    const size_t cut = file.find_last_of("\\/");
    if (cut == std::string::npos) return false;
    folder = file.substr(0, cut == 2 && file[1] == ':' ? 3 : cut);  // "C:\" keeps its separator
    return true;
}

namespace {

// Puts the prompt in the caption.
UINT_PTR CALLBACK colourHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* cc = reinterpret_cast<const CHOOSECOLORW*>(lParam);
        if (cc->lCustData) SetWindowTextW(dialog, reinterpret_cast<const wchar_t*>(cc->lCustData));
    }
    return 0;
}

}  // namespace

bool runColourDialog(HWND owner, const std::string& prompt, uint8_t rgb[3], uint32_t custom[kCustomColourCount]) {
    const std::wstring caption = widen(prompt);
    // The system's colours are 0x00BBGGRR.
    COLORREF colours[kCustomColourCount];
    for (int i = 0; i < kCustomColourCount; ++i)
        colours[i] = RGB((custom[i] >> 16) & 0xFF, (custom[i] >> 8) & 0xFF, custom[i] & 0xFF);
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = owner;
    cc.rgbResult = RGB(rgb[0], rgb[1], rgb[2]);
    cc.lpCustColors = colours;
    cc.Flags = CC_RGBINIT | CC_ENABLEHOOK;
    cc.lpfnHook = colourHook;
    cc.lCustData = caption.empty() ? 0 : reinterpret_cast<LPARAM>(caption.c_str());
    BOOL ok;
    {
        ActivationScope styles;
        DpiScope dpi;
        ok = ChooseColorW(&cc);
    }
    // Colours added to the custom ones stay, whether or not one was chosen.
    for (int i = 0; i < kCustomColourCount; ++i)
        custom[i] = (uint32_t(GetRValue(colours[i])) << 16) | (uint32_t(GetGValue(colours[i])) << 8) |
                    GetBValue(colours[i]);
    if (!ok) return false;
    rgb[0] = GetRValue(cc.rgbResult);
    rgb[1] = GetGValue(cc.rgbResult);
    rgb[2] = GetBValue(cc.rgbResult);
    return true;
}

void runMessageBox(HWND owner, const std::string& title, const std::string& text) {
    ActivationScope styles;
    DpiScope dpi;
    MessageBoxW(owner, widen(text).c_str(), widen(title).c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace tv::platform::win32
