// tool_refrender: renders the reference cases of the renderer's test suite,
// writes their checksums and a contact sheet to look at.
//
//   tool_refrender CHECKSUMS.txt SHEET.png [--threads N]
//   tool_refrender --check CHECKSUMS.txt [--threads N]
//
// An intended change of a rule is accepted by running the first form over
// tests/render/reference_renders.txt and looking at the sheet. The second
// form only compares (exit status 1 and the differing cases when any differ).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/render/reference_renders.h"
#include "image_io.h"
#include "sheet_text.h"

namespace {

using tv::cli::Image;
namespace ref = tv::reference;

// A rendered case as 8-bit RGB for the sheet: 16-bit samples on their 32768
// scale, floats clipped at 1, transparency over a grey checkerboard.
Image displayOf(const ref::Image& im, int32_t scaleUp, int32_t scaleDown) {
    Image out;
    const int32_t w = im.width * scaleUp / scaleDown, h = im.height * scaleUp / scaleDown;
    out.allocate(w, h, 3, 8);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t at = (size_t(y * scaleDown / scaleUp) * size_t(im.width) + size_t(x * scaleDown / scaleUp)) * 4;
            float v[4];
            for (int c = 0; c < 4; ++c) {
                const uint8_t* p = im.bytes.data() + (at + size_t(c)) * size_t(im.bytesPerChannel);
                if (im.bytesPerChannel == 1) {
                    v[c] = float(*p) / 255.0f;
                } else if (im.bytesPerChannel == 2) {
                    uint16_t s;
                    std::memcpy(&s, p, 2);
                    v[c] = float(s) / 32768.0f;
                } else {
                    std::memcpy(&v[c], p, 4);
                }
            }
            const float checker = ((x / 8 + y / 8) & 1) ? 0.6f : 0.4f;
            const float a = std::clamp(v[3], 0.0f, 1.0f);
            for (int c = 0; c < 3; ++c) {
                const float shown = std::clamp(v[c], 0.0f, 1.0f) * a + checker * (1.0f - a);
                out.data[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] = uint8_t(shown * 255.0f + 0.5f);
            }
        }
    return out;
}

int usage() {
    std::fprintf(stderr,
                 "usage: tool_refrender CHECKSUMS.txt SHEET.png [--threads N]\n"
                 "       tool_refrender --check CHECKSUMS.txt [--threads N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    int32_t threads = 0;
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--threads") {
            threads = std::atoi(args[i + 1].c_str());
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            break;
        }
    if (args.size() == 2 && args[0] == "--check") {
        const std::string differ = ref::mismatches(args[1], threads);
        std::fputs(differ.c_str(), stdout);
        return differ.empty() ? 0 : 1;
    }
    if (args.size() != 2) return usage();

    const int32_t columns = 6, cellWidth = 264, cellHeight = 192, label = 24, gap = 8;
    const int32_t count = int32_t(std::size(ref::kCases));
    const int32_t rows = (count + columns - 1) / columns;
    Image sheet;
    if (!sheet.allocate(gap + columns * (cellWidth + gap), gap + rows * (cellHeight + label + gap), 3, 8)) return 1;
    std::fill(sheet.data.begin(), sheet.data.end(), uint8_t(40));

    std::string text = "# Checksums of the reference renders (tests/render/reference_renders.h).\n"
                       "# Written by tool_refrender; look at its contact sheet before accepting a change.\n";
    for (int32_t i = 0; i < count; ++i) {
        const ref::Case& c = ref::kCases[i];
        const ref::Image im = ref::render(c, threads);
        if (im.result != 0) {
            std::fprintf(stderr, "tool_refrender: \"%s\" failed with %d\n", c.name, int(im.result));
            return 1;
        }
        text += ref::hex(ref::checksum(im)) + "  " + c.name + "\n";
        const bool big = im.width > cellWidth / 2;
        const Image cell = displayOf(im, big ? 1 : 2, big ? 2 : 1);
        const int32_t x0 = gap + (i % columns) * (cellWidth + gap), y0 = gap + (i / columns) * (cellHeight + label + gap);
        for (int32_t y = 0; y < std::min(cell.height, cellHeight); ++y)
            std::memcpy(sheet.data.data() + (size_t(y0 + y) * size_t(sheet.width) + size_t(x0)) * 3,
                        cell.data.data() + size_t(y) * cell.rowBytes(), std::min(cell.rowBytes(), size_t(cellWidth) * 3));
        drawSheetText(sheet, x0, y0 + cellHeight + 6, c.name, 1);
        drawSheetText(sheet, x0, y0 + cellHeight + 15, std::to_string(c.depth) + "-bit" + (c.kind & ref::kGrey ? " grey" : ""), 1);
    }
    std::ofstream out(args[0], std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
        std::fprintf(stderr, "tool_refrender: cannot write %s\n", args[0].c_str());
        return 1;
    }
    std::string error;
    if (!tv::cli::writeImage(args[1], sheet, &error)) {
        std::fprintf(stderr, "tool_refrender: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
