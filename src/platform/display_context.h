// The preview's display surface with the native context that a host's display
// routine draws on: on Windows a memory device context with the surface's
// pixels selected into it (a top-down 32-bit DIB section), so that a paint
// program's own routine can draw with GDI; elsewhere the surface itself,
// recognised by its magic word.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/window.h"

namespace tv::platform {

// Owns a display surface's pixels and its native context.
class DisplaySurfaceStore {
public:
    DisplaySurfaceStore();
    ~DisplaySurfaceStore();
    DisplaySurfaceStore(const DisplaySurfaceStore&) = delete;
    DisplaySurfaceStore& operator=(const DisplaySurfaceStore&) = delete;
    // A black surface of width x height (the previous one is released); its
    // pixels are null when it is empty or the system refused it.
    DisplaySurface* resize(int32_t width, int32_t height);

private:
    struct Native;
    std::unique_ptr<Native> native_;
};

// The host's side: draws rows of 0xAARRGGBB words onto a native display
// context (what a host's display routine receives), the top-left at (x, y),
// clipped to the surface. False when the context is none this system draws on.
bool drawOnDisplayContext(void* nativeContext, const uint32_t* pixels, int32_t width, int32_t height, int32_t stride,
                          int32_t x, int32_t y);

}  // namespace tv::platform
