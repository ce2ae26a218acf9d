// The HTML catalogue page writer: a static HTML 4.01 page in ISO-8859-1 with
// a table of framed thumbnails and their captions. The thumbnails and the
// four frame pieces live in a "web_images" folder beside the page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace tv {

// Page kinds: the title and heading words depend on them.
enum CatalogueKind : int32_t {
    kCataloguePresets = 0,
    kCatalogueImages = 1,
    kCatalogueOutputModes = 2,
    kCatalogueMemoryDots = 3,
};

constexpr int32_t kMaxCatalogueColumns = 10;
inline constexpr std::string_view kWebImagesFolder = "web_images";

// Text for the page (captions, folder names, alt texts). The text is UTF-8
// (a byte that does not begin a valid sequence stands for itself, as in
// Latin-1): '"', '&', '<' and '>' become entities; characters 123 to 159
// become "&#NNN;"; 160 to 255 their HTML 4 entity names ("&nbsp;" ..
// "&yuml;"); characters above 255 "&#N;". Control characters other than
// tab, line feed and carriage return, which no page may hold, become '?'.
// Everything else is unchanged, so the page stays plain ASCII.
std::string escapeHtmlText(std::string_view text);

// A file name inside a src attribute: ASCII letters and digits unchanged,
// every other byte "%" and two lower-case hexadecimal digits.
std::string escapeFileName(std::string_view name);

struct CataloguePage {
    platform::FileWriter file;  // the page, put in place whole by endPage
    std::string text;           // what has been written so far
    std::string imagesFolder;   // the "web_images" folder beside the page
    int32_t kind = kCataloguePresets;
    int32_t columns = 5;  // per row, 1..10
    int32_t column = 1;   // 1-based, of the next cell
    int32_t row = 0;      // rows completed
    int32_t imageCells = 0;
    int32_t blankCells = 0;
    bool open = false;
    // Files of "web_images" that writing this page made where there was none:
    // removed again when the page is not put in place (removeNewFiles).
    std::vector<std::string> newFiles;
};

// Creates the "web_images" folder beside the page file with the four frame
// pieces in it, opens the page and writes its head and heading. The heading
// names the source folder (its last component, escaped) when one is given.
// Returns 0, 99 when the folder or the page cannot be created, or -20 when a
// frame piece cannot be written.
int32_t beginPage(CataloguePage& page, const std::string& pagePath, std::string_view sourceFolder, int32_t kind,
                  int32_t columns);

// A framed image of width x height, "web_images/" + escaped picture + extension
// (the picture is named after the caption when picture is empty), with the
// caption under it. A row ends after `columns` cells.
void addImageCell(CataloguePage& page, std::string_view caption, std::string_view extension, int32_t width,
                  int32_t height, std::string_view picture = {});
void addBlankCell(CataloguePage& page);

// Writes a picture of the page into its "web_images" folder whole, noting it
// in newFiles when there was none of that name. kFileOk or the write's error.
int writePagePicture(CataloguePage& page, const std::string& name, const void* data, size_t size);
// Removes the pictures this page made (newFiles): for a page that failed or
// was cancelled, so that no picture of a page never written is left behind.
void removeNewFiles(CataloguePage& page);

// Fills the last row with blank cells, closes the table and the page, and
// puts the page in place (replacing an older one whole). Returns 0 or -20.
int32_t endPage(CataloguePage& page);

}  // namespace tv
