// The four GIF pieces of the frame drawn around each thumbnail of an HTML
// catalogue page, written unchanged into the page's "web_images" folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tv {

struct FrameGif {
    const char* name;  // "top.gif", "left.gif", "right.gif", "bottom.gif"
    const uint8_t* data;
    size_t size;
};

constexpr int kFrameGifCount = 4;
std::span<const FrameGif> frameGifs();

}  // namespace tv
