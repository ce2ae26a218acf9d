// Generates the four frame pieces the HTML catalogue draws around each
// thumbnail, as GIF files of fixed sizes: "top.gif" (125 bytes), "left.gif"
// (155), "right.gif" (154) and "bottom.gif" (224). The pieces are bands of
// grey that the page stretches along the thumbnail's sides: a light bevel on
// the top and left, a darker edge and a soft drop shadow on the right and
// bottom. Each file is filled to its size with a comment extension.
//
//   tool_frame_gifs OUT.cpp [GIF_FOLDER]
//
// writes the C++ source that embeds them (src/export/frame_gifs_data.cpp is
// this output, committed) and, when a folder is given, the GIF files too.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Piece {
    const char* name;
    const char* symbol;
    int width, height;
    bool rows;                   // true: one colour per row; false: one per column
    std::vector<uint32_t> bands;  // 0xRRGGBB, top to bottom or left to right
    size_t size;                 // the file's size
};

const Piece kPieces[] = {
    {"top.gif", "kTopGif", 32, 2, true, {0xB8B8B8, 0xE6E6E6}, 125},
    {"left.gif", "kLeftGif", 3, 32, false, {0xB8B8B8, 0xE6E6E6, 0x8C8C8C}, 155},
    {"right.gif", "kRightGif", 3, 32, false, {0x8C8C8C, 0x6E6E6E, 0xB4B4B4}, 154},
    {"bottom.gif", "kBottomGif", 32, 5, true, {0x8C8C8C, 0x6E6E6E, 0x9A9A9A, 0xC8C8C8, 0xECECEC}, 224},
};

void u16le(Bytes& b, int v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

// GIF's variable-length LZW, packed least significant bit first into
// sub-blocks of up to 255 bytes.
Bytes lzw(const std::vector<uint8_t>& indices, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    Bytes packed;
    uint32_t accumulator = 0;
    int bits = 0;
    int codeSize = minCodeSize + 1;
    auto emit = [&](int code) {
        accumulator |= uint32_t(code) << bits;
        bits += codeSize;
        while (bits >= 8) {
            packed.push_back(uint8_t(accumulator));
            accumulator >>= 8;
            bits -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = end + 1;
    emit(clear);
    int prefix = indices.empty() ? -1 : indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const int k = indices[i];
        auto it = table.find({prefix, k});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            table[{prefix, k}] = next++;
            if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
        } else {
            emit(clear);
            table.clear();
            next = end + 1;
            codeSize = minCodeSize + 1;
        }
        prefix = k;
    }
    if (prefix >= 0) emit(prefix);
    emit(end);
    if (bits > 0) packed.push_back(uint8_t(accumulator));

    Bytes out;
    out.push_back(uint8_t(minCodeSize));
    for (size_t at = 0; at < packed.size(); at += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - at);
        out.push_back(uint8_t(n));
        out.insert(out.end(), packed.begin() + long(at), packed.begin() + long(at + n));
    }
    out.push_back(0);
    return out;
}

Bytes comment(size_t total, const std::string& text) {
    // 0x21 0xFE, one sub-block, terminator: total - 4 bytes of text.
    if (total < 4 || total > 259) return {};
    Bytes b(total, uint8_t(' '));
    b[0] = 0x21;
    b[1] = 0xFE;
    b[2] = uint8_t(total - 4);
    for (size_t i = 0; i < text.size() && i < total - 4; ++i) b[3 + i] = uint8_t(text[i]);
    b[total - 1] = 0;
    return b;
}

bool encode(const Piece& p, Bytes& out) {
    // A colour table of four entries (two bits): the bands, then white.
    std::vector<uint32_t> palette = p.bands;
    while (palette.size() < 4) palette.push_back(0xFFFFFF);
    int tableBits = 2;
    while ((1u << tableBits) < palette.size()) ++tableBits;
    palette.resize(size_t(1) << tableBits, 0xFFFFFF);

    std::vector<uint8_t> indices(size_t(p.width) * size_t(p.height));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) indices[size_t(y) * size_t(p.width) + size_t(x)] = uint8_t(p.rows ? y : x);

    Bytes head = {'G', 'I', 'F', '8', '9', 'a'};
    u16le(head, p.width);
    u16le(head, p.height);
    head.push_back(uint8_t(0x80 | 0x70 | (tableBits - 1)));  // global table, 8-bit colour resolution
    head.push_back(0);                                       // background
    head.push_back(0);                                       // square pixels
    for (uint32_t c : palette) {
        head.push_back(uint8_t(c >> 16));
        head.push_back(uint8_t(c >> 8));
        head.push_back(uint8_t(c));
    }
    Bytes image = {0x2C};
    u16le(image, 0);
    u16le(image, 0);
    u16le(image, p.width);
    u16le(image, p.height);
    image.push_back(0);  // no local table, not interlaced
    const Bytes data = lzw(indices, tableBits < 2 ? 2 : tableBits);
    image.insert(image.end(), data.begin(), data.end());
    image.push_back(0x3B);

    const size_t natural = head.size() + image.size();
    if (natural + 4 > p.size) {
        std::fprintf(stderr, "frame_gifs: %s needs %zu bytes, more than %zu\n", p.name, natural + 4, p.size);
        return false;
    }
    const Bytes note = comment(p.size - natural, std::string("Terravane frame, ") + p.name);
    out = head;
    out.insert(out.end(), note.begin(), note.end());
    out.insert(out.end(), image.begin(), image.end());
    return out.size() == p.size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tool_frame_gifs OUT.cpp [GIF_FOLDER]\n");
        return 2;
    }
    std::string source =
        "// The four frame pieces of the HTML catalogue pages.\n"
        "// Generated by tools/frame_gifs.cpp (tool_frame_gifs); do not edit.\n"
        "#include \"export/frame_gifs.h\"\n\nnamespace tv {\n\nnamespace {\n\n";
    for (const Piece& p : kPieces) {
        Bytes gif;
        if (!encode(p, gif)) return 1;
        if (argc > 2) {
            const std::string path = tv::platform::joinPath(argv[2], p.name);
            if (tv::platform::writeFileAtomic(path, gif.data(), gif.size()) != tv::platform::kFileOk) {
                std::fprintf(stderr, "frame_gifs: cannot write %s\n", path.c_str());
                return 1;
            }
        }
        source += "constexpr uint8_t " + std::string(p.symbol) + "[" + std::to_string(gif.size()) + "] = {";
        for (size_t i = 0; i < gif.size(); ++i) {
            if (i % 16 == 0) source += "\n   ";
            char hex[8];
            std::snprintf(hex, sizeof hex, " 0x%02X,", gif[i]);
            source += hex;
        }
        source += "\n};\n\n";
    }
    source += "constexpr FrameGif kFrameGifs[kFrameGifCount] = {\n";
    for (const Piece& p : kPieces)
        source += "    {\"" + std::string(p.name) + "\", " + p.symbol + ", sizeof " + p.symbol + "},\n";
    source += "};\n\n}  // namespace\n\nstd::span<const FrameGif> frameGifs() { return kFrameGifs; }\n\n}  // namespace tv\n";

    if (tv::platform::writeFileAtomic(argv[1], source.data(), source.size()) != tv::platform::kFileOk) {
        std::fprintf(stderr, "frame_gifs: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
