// GIMP's drawable as the module's host image: the precisions mapped to the
// filter record's depth (8-bit, 16-bit, and 32-bit float for every float or
// 32-bit precision), RGB and grey with or without alpha, the selection as the
// mask, a floating selection at its place over the image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "filter_job.h"

typedef union _Babl Babl;

namespace tv::gimp {

struct DrawableJob {
    int32_t image = -1, drawable = -1;
    FilterJob job;
    // Drawable coordinates of the host image's (0, 0).
    int32_t dx = 0, dy = 0;
    int32_t gimpChannels = 3;        // samples a pixel in GIMP's buffer (alpha included)
    const Babl* format = nullptr;    // the buffer's format as read and written
    int32_t drawableWidth = 0, drawableHeight = 0;
};

// Reads the drawable's part under the selection into job (region empty: the
// selection does not touch the drawable, nothing to do). False with a reason.
bool readDrawable(int32_t image, int32_t drawable, DrawableJob& out, std::string* error);

// Writes the module's result into the drawable as one undo step: where it
// rendered and the selection is not zero; elsewhere the drawable keeps what
// it holds now. The selection is left as it was. Fails, changing nothing,
// when the drawable has gone or changed its size since it was read.
bool writeDrawable(const DrawableJob& in, const FilterOutcome& outcome, std::string* error);

}  // namespace tv::gimp
