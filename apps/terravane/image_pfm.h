// Portable float maps (.pfm): 32-bit float samples without any library, grey
// ("Pf") or RGB ("PF"), little-endian, rows bottom-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace tv::cli {

// A 32-bit image; an alpha channel is dropped (the format has none).
bool encodePfm(const Image& image, std::vector<uint8_t>& out, std::string* error);
// Either byte order (the sign of the scale); every size checked against the file.
bool decodePfm(const uint8_t* data, size_t size, Image& out, std::string* error);

}  // namespace tv::cli
