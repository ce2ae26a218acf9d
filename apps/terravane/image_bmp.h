// Windows bitmap files (.bmp) for the command line: 8 bits per channel. They
// are written by ImageWriter (image_writer.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace tv::cli {

// Uncompressed 8-bit palette, 24-bit and 32-bit bitmaps (BI_RGB, or
// BI_BITFIELDS with 8-bit masks), bottom-up or top-down; every size is checked
// against the file before it is trusted.
bool decodeBmp(const uint8_t* data, size_t size, Image& out, std::string* error);

}  // namespace tv::cli
