// Metadata blocks that every exported file carries: the IPTC record that
// names the maker, and a one-entry EXIF directory naming the software.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace tv {

// The product's web address, written as the source of exported files.
inline constexpr std::string_view kProductWebAddress = "https://bramblekiln.example/terravane";

// An IPTC record-2 block: record version 2, 2:115 source (the web address),
// 2:55 date created ("%04d%02d%02d"), 2:120 caption "Made with Terravane",
// 2:25 keyword "Terravane", then one 2:25 dataset per further keyword of the
// ';'-separated list (blanks around a keyword dropped, empty ones skipped,
// each cut to the 64 bytes a keyword dataset may hold).
std::vector<uint8_t> iptcBlock(std::string_view keywordList, const platform::CivilTime& date);

// A big-endian TIFF block with one directory entry: software "Terravane".
std::vector<uint8_t> exifBlock();

}  // namespace tv
