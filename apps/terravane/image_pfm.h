// Portable float maps (.pfm): 32-bit float samples without any library, grey
// ("Pf") or RGB ("PF"), little-endian, rows bottom-up. They are written by
// ImageWriter (image_writer.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace tv::cli {

// Either byte order (the sign of the scale); every size checked against the file.
bool decodePfm(const uint8_t* data, size_t size, Image& out, std::string* error);

}  // namespace tv::cli
