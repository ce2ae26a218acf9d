// The display surface as plain memory; the native context is the surface.
#include <algorithm>
#include <vector>

#include "platform/display_context.h"

namespace tv::platform {

struct DisplaySurfaceStore::Native {
    DisplaySurface surface;
    std::vector<uint32_t> pixels;
};

DisplaySurfaceStore::DisplaySurfaceStore() : native_(std::make_unique<Native>()) {}
DisplaySurfaceStore::~DisplaySurfaceStore() = default;

DisplaySurface* DisplaySurfaceStore::resize(int32_t width, int32_t height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    native_->pixels.assign(size_t(width) * size_t(height), 0xFF000000u);
    native_->surface = DisplaySurface{kDisplaySurfaceMagic, width, height, width,
                                      native_->pixels.empty() ? nullptr : native_->pixels.data(), nullptr};
    native_->surface.nativeContext = &native_->surface;
    return &native_->surface;
}

bool drawOnDisplayContext(void* nativeContext, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                          int32_t x, int32_t y) {
    auto* surface = static_cast<DisplaySurface*>(nativeContext);
    if (!surface || surface->magic != kDisplaySurfaceMagic || !surface->pixels) return false;
    for (int32_t row = std::max(0, -y); row < height && y + row < surface->height; ++row) {
        const uint32_t* src = pixels + size_t(row) * size_t(stride);
        uint32_t* out = surface->pixels + size_t(y + row) * size_t(surface->stride);
        for (int32_t col = std::max(0, -x); col < width && x + col < surface->width; ++col) out[x + col] = src[col];
    }
    return true;
}

}  // namespace tv::platform
