// The display surface as a top-down 32-bit DIB section selected into a memory
// device context: the context is what a host's display routine gets, and the
// dialog reads the same pixels directly.
#include <algorithm>
#include <vector>

#include "platform/display_context.h"
#include "platform/win32/wide.h"

namespace tv::platform {

namespace {

BITMAPINFO topDown32(int32_t width, int32_t height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

struct DisplaySurfaceStore::Native {
    DisplaySurface surface;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;

    void release() {
        if (dc && previous) SelectObject(dc, previous);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        dc = nullptr;
        bitmap = nullptr;
        previous = nullptr;
        surface = DisplaySurface{};
    }
    ~Native() { release(); }
};

DisplaySurfaceStore::DisplaySurfaceStore() : native_(std::make_unique<Native>()) {}
DisplaySurfaceStore::~DisplaySurfaceStore() = default;

DisplaySurface* DisplaySurfaceStore::resize(int32_t width, int32_t height) {
    Native& n = *native_;
    n.release();
    n.surface.magic = kDisplaySurfaceMagic;
    if (width <= 0 || height <= 0) return &n.surface;
    const BITMAPINFO info = topDown32(width, height);
    void* bits = nullptr;
    n.dc = CreateCompatibleDC(nullptr);
    n.bitmap = n.dc ? CreateDIBSection(n.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (!n.bitmap || !bits) {
        n.release();
        n.surface.magic = kDisplaySurfaceMagic;
        return &n.surface;
    }
    n.previous = SelectObject(n.dc, n.bitmap);
    auto* pixels = static_cast<uint32_t*>(bits);
    std::fill_n(pixels, size_t(width) * size_t(height), 0xFF000000u);
    n.surface = DisplaySurface{kDisplaySurfaceMagic, width, height, width, pixels, n.dc};
    return &n.surface;
}

bool drawOnDisplayContext(void* nativeContext, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                          int32_t x, int32_t y) {
    HDC dc = static_cast<HDC>(nativeContext);
    const DWORD type = dc ? GetObjectType(dc) : 0;
    if ((type != OBJ_DC && type != OBJ_MEMDC) || !pixels || width <= 0 || height <= 0) return false;
    const BITMAPINFO info = topDown32(stride, height);
    const int lines = StretchDIBits(dc, x, y, width, height, 0, 0, width, height, pixels, &info, DIB_RGB_COLORS,
                                    SRCCOPY);
    GdiFlush();
    return lines > 0;
}

}  // namespace tv::platform
