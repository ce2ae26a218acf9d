// Labels for the contact sheets of the tools: text in the small quad font.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image_io.h"

#define STB_EASY_FONT_IMPLEMENTATION
#include <stb/stb_easy_font.h>

// Draws text into an 8-bit RGB image, scaled, in white.
inline void drawSheetText(tv::cli::Image& sheet, int32_t x0, int32_t y0, const std::string& text, int32_t scale) {
    std::vector<char> buffer(size_t(text.size()) * 300 + 64);
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    const int quads = stb_easy_font_print(0, 0, copy.data(), nullptr, buffer.data(), int(buffer.size()));
    struct Vertex {
        float x, y, z;
        unsigned char c[4];
    };
    const auto* v = reinterpret_cast<const Vertex*>(buffer.data());
    for (int q = 0; q < quads; ++q) {
        const Vertex* a = v + q * 4;
        const int32_t left = x0 + int32_t(a[0].x) * scale, top = y0 + int32_t(a[0].y) * scale;
        const int32_t right = x0 + int32_t(a[2].x) * scale, bottom = y0 + int32_t(a[2].y) * scale;
        for (int32_t y = std::max(0, top); y < std::min(sheet.height, bottom); ++y)
            for (int32_t x = std::max(0, left); x < std::min(sheet.width, right); ++x)
                std::memset(sheet.data.data() + (size_t(y) * size_t(sheet.width) + size_t(x)) * 3, 235, 3);
    }
}
