// UTF-8 reading with a Latin-1 fallback: our texts (file names, settings
// names) are UTF-8 on Linux, but a byte that does not begin a well-formed
// sequence still stands for its Latin-1 character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tv {

// Length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), or 0 when
// there is none: overlong forms, surrogates, code points above U+10FFFF and
// cut sequences are not well formed.
inline size_t utf8SequenceLength(std::string_view s, size_t i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    uint32_t code = n == 1 ? b : b & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        code = code << 6 | (c & 0x3Fu);
    }
    constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return n;
}

// The character at s[i], advancing i past it; a byte that does not begin a
// well-formed sequence is read as its Latin-1 character.
inline uint32_t nextCharacter(std::string_view s, size_t& i) {
    const size_t n = utf8SequenceLength(s, i);
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (n <= 1) {
        ++i;
        return b0;
    }
    uint32_t code = b0 & (0x7Fu >> n);
    for (size_t k = 1; k < n; ++k) code = code << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3Fu);
    i += n;
    return code;
}

}  // namespace tv
