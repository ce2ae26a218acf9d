// Windows bitmap files (.bmp) for the command line: 8 bits per channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace tv::cli {

// Grey and RGB images as 24-bit bitmaps (grey replicated), images with alpha
// as 32-bit bitmaps with an alpha mask (BITMAPV4HEADER); rows bottom-up.
bool encodeBmp(const Image& image, std::vector<uint8_t>& out, std::string* error);
// Uncompressed 8-bit palette, 24-bit and 32-bit bitmaps (BI_RGB, or
// BI_BITFIELDS with 8-bit masks), bottom-up or top-down; every size is checked
// against the file before it is trusted.
bool decodeBmp(const uint8_t* data, size_t size, Image& out, std::string* error);

}  // namespace tv::cli
