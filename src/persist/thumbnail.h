// The settings thumbnail: the small picture of a planet that settings files,
// memory dots and catalogue pages carry, and its place in the state block.
#pragma once

#include <cstddef>  // before base/image.h, which uses size_t
#include <cstdint>

#include "base/image.h"
#include "params/params.h"

namespace tv::persist {

constexpr int32_t kThumbnailSide = 128;  // the writer's thumbnail is 128 x 128
constexpr int32_t kDotPictureSide = 88;  // the dialog's memory-dot picture

// Scales src into a width x height image by area averaging (each output pixel
// is the mean of the source area it covers). An empty source gives a black image.
RgbImage scaleImage(const RgbImage& src, int32_t width, int32_t height);

// The largest square that fits in area, centred in it (the part of a preview
// that becomes a thumbnail). Area is clipped to the image first.
RgbImage centredSquare(const RgbImage& image, Rect area);

// The state block owns its thumbnail through a plain pointer (the block is a
// host-kept record). These are the only places it is made and freed.
RgbImage& ensureThumbnail(StateBlock& state);      // a black 128 x 128 image when there is none
void replaceThumbnail(StateBlock& state, RgbImage&& image);
void freeThumbnail(StateBlock& state);

}  // namespace tv::persist
