#include "export/metadata.h"

#include <cstdio>

#include "base/bytes.h"

namespace tv {

namespace {

constexpr size_t kMaxKeywordBytes = 64;

void dataset(ByteWriter& w, uint8_t number, std::string_view text) {
    w.u8(0x1C);
    w.u8(2);
    w.u8(number);
    w.u16(static_cast<uint16_t>(text.size()));
    w.text(text);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

}  // namespace

std::vector<uint8_t> iptcBlock(std::string_view keywordList, const platform::CivilTime& date) {
    ByteWriter w;
    // 2:00 record version, two bytes 0 and 2.
    w.u8(0x1C);
    w.u8(2);
    w.u8(0);
    w.u16(2);
    w.u8(0);
    w.u8(2);
    dataset(w, 115, kProductWebAddress);
    char day[32];
    std::snprintf(day, sizeof day, "%04d%02d%02d", date.year % 10000, date.month % 100, date.day % 100);
    dataset(w, 55, day);
    dataset(w, 120, "Made with Terravane");
    dataset(w, 25, "Terravane");
    while (!keywordList.empty()) {
        const size_t cut = keywordList.find(';');
        std::string_view keyword = trimmed(keywordList.substr(0, cut));
        keywordList = cut == std::string_view::npos ? std::string_view() : keywordList.substr(cut + 1);
        if (keyword.empty()) continue;
        if (keyword.size() > kMaxKeywordBytes) keyword = keyword.substr(0, kMaxKeywordBytes);
        dataset(w, 25, keyword);
    }
    return std::move(w.data());
}

std::vector<uint8_t> exifBlock() {
    ByteWriter w;
    w.text("MM");
    w.u16(42);
    w.u32(8);    // first directory
    w.u16(1);    // one entry
    w.u16(305);  // software
    w.u16(2);    // text
    w.u32(10);   // "Terravane" and its terminator
    w.u32(26);   // where the text starts
    w.u32(0);    // no further directory
    w.text("Terravane");
    w.u8(0);
    return std::move(w.data());
}

}  // namespace tv
