#include "export/html_page.h"

#include <algorithm>
#include <cstdio>

#include "base/utf8.h"
#include "export/frame_gifs.h"

namespace tv {

namespace {

constexpr const char* kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

constexpr const char* kCellStart = "<td align=\"center\" valign=\"top\" width=\"20%\">";

std::string number(int32_t v) { return std::to_string(v); }

std::string imageTag(std::string_view stem, std::string_view extension, bool thumbnail, int32_t width,
                     int32_t height) {
    std::string s = "<img src=\"" + std::string(kWebImagesFolder) + "/" + escapeFileName(stem) + std::string(extension) +
                    "\"";
    // Every image needs an alternative text; the frame pieces' is empty.
    s += thumbnail ? " alt=\"" + escapeHtmlText(stem) + escapeHtmlText(extension) + "\"" : std::string(" alt=\"\"");
    s += " width=\"" + number(width) + "\" height=\"" + number(height) + "\" border=\"0\">";
    return s;
}

std::string lastComponent(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == platform::pathSeparator()) folder.remove_suffix(1);
    return platform::fileNameOf(folder);
}

void line(CataloguePage& page, std::string_view s) {
    page.text += s;
    page.text += "\r\n";
}

// Counts a cell and ends the row after the last column: the row's end and a
// spacer row.
void advance(CataloguePage& page) {
    if (++page.column <= page.columns) return;
    line(page, "</tr>");
    std::string spacer = "<tr>";
    for (int32_t i = 0; i < page.columns; ++i) spacer += std::string(kCellStart) + "<p>&nbsp;</p></td>";
    spacer += "</tr>";
    line(page, spacer);
    page.column = 1;
    ++page.row;
}

void rowStart(CataloguePage& page) {
    if (page.column == 1) line(page, "<tr>");
}

}  // namespace

std::string escapeHtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const uint32_t c = nextCharacter(text, i);
        if (c < 34) {
            out += (c >= 32 || c == '\t' || c == '\n' || c == '\r') ? char(c) : '?';
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c >= 123 && c <= 159) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "&#%03u;", c);
            out += buf;
        } else if (c >= 160 && c <= 255) {
            out += '&';
            out += kLatin1Entities[c - 160];
            out += ';';
        } else if (c > 255) {
            out += "&#" + std::to_string(c) + ";";
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string escapeFileName(std::string_view name) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(name.size());
    for (const char ch : name) {
        const auto b = static_cast<uint8_t>(ch);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            out += ch;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

int32_t beginPage(CataloguePage& page, const std::string& pagePath, std::string_view sourceFolder, int32_t kind,
                  int32_t columns) {
    page.kind = kind;
    page.columns = std::clamp(columns, 1, kMaxCatalogueColumns);
    page.column = 1;
    page.row = 0;
    page.imageCells = page.blankCells = 0;
    page.text.clear();
    page.open = false;
    page.newFiles.clear();

    page.imagesFolder = platform::joinPath(platform::folderOf(pagePath), kWebImagesFolder);
    if (!platform::createFolder(page.imagesFolder)) return platform::kFileOpenError;
    for (const FrameGif& gif : frameGifs()) {
        const int rc = writePagePicture(page, gif.name, gif.data, gif.size);
        if (rc != platform::kFileOk) return rc;
    }
    if (const int rc = page.file.open(pagePath); rc != platform::kFileOk) return rc;
    page.open = true;

    static constexpr const char* kKindWords[] = {" presets", " images", " output modes", " memory dots"};
    const int32_t k = std::clamp(kind, 0, 3);
    line(page, "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
    line(page, "");
    line(page, "<html>");
    line(page, "<head>");
    line(page, "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">");
    line(page, std::string("<meta name=\"generator\" content=\"Bramble Kiln Terravane\"><title>Terravane") +
                   kKindWords[k] + "</title>");
    line(page, "</head>");
    line(page, "");
    line(page, "<body bgcolor=\"#ffffff\">");
    line(page, "<p><br>");
    line(page, "");
    std::string heading = "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Terravane";
    if (!sourceFolder.empty()) {
        heading += k == kCataloguePresets ? " presets from " : " images from ";
        heading += escapeHtmlText(lastComponent(sourceFolder));
    }
    if (k == kCatalogueOutputModes) heading += " output modes ";
    if (k == kCatalogueMemoryDots) heading += " memory dots ";
    line(page, heading);
    line(page, "<br>");
    line(page, "</b>");
    line(page, "</font>");
    line(page, "</p>");
    line(page, "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" align=\"center\">");
    return 0;
}

void addImageCell(CataloguePage& page, std::string_view caption, std::string_view extension, int32_t width,
                  int32_t height, std::string_view picture) {
    const std::string_view stem = picture.empty() ? caption : picture;
    rowStart(page);
    ++page.imageCells;
    const std::string fw = number(width + 6);
    line(page, kCellStart);
    // Each frame gets its own id (an id may appear only once in a page). The
    // frame's height, height + 7, follows from its pieces: HTML 4 tables have
    // no height attribute.
    char id[32];
    std::snprintf(id, sizeof id, "Table_%02d", page.imageCells);
    line(page, "<table id=\"" + std::string(id) + "\" width=" + fw +
                   " border=\"0\" cellspacing=\"0\" cellpadding=\"0\">");
    line(page, "<tr><td colspan=\"3\">" + imageTag("top", ".gif", false, width + 6, 2) + "</td></tr>");
    line(page, "<tr><td>" + imageTag("left", ".gif", false, 3, height) + "</td><td>" +
                   imageTag(stem, extension, true, width, height) + "</td><td>" +
                   imageTag("right", ".gif", false, 3, height) + "</td></tr>");
    line(page, "<tr><td colspan=\"3\">" + imageTag("bottom", ".gif", false, width + 6, 5) + "</td></tr>");
    line(page, "</table>");
    line(page, "<div align=\"center\">");
    line(page, "<br><font  size=\"3\" face=\"Gill Sans,Verdana,Helvetica,Arial\">" + escapeHtmlText(caption) + "</font>");
    line(page, "</div>");
    line(page, "</td>");
    line(page, "");
    advance(page);
}

void addBlankCell(CataloguePage& page) {
    rowStart(page);
    ++page.blankCells;
    line(page, std::string(kCellStart) + "<p></p>");
    line(page, "<p align=\"center\"><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p>");
    line(page, "</td>");
    line(page, "");
    advance(page);
}

int writePagePicture(CataloguePage& page, const std::string& name, const void* data, size_t size) {
    const std::string path = platform::joinPath(page.imagesFolder, name);
    const bool existed = platform::fileExists(path);
    const int rc = platform::writeFileAtomic(path, data, size);
    if (rc == platform::kFileOk && !existed) page.newFiles.push_back(path);
    return rc;
}

void removeNewFiles(CataloguePage& page) {
    for (const std::string& path : page.newFiles) platform::removeFile(path);
    page.newFiles.clear();
}

int32_t endPage(CataloguePage& page) {
    if (!page.open) return platform::kFileWriteError;
    if (page.column > 1)
        while (page.column != 1) addBlankCell(page);
    // A table must hold a row: an empty catalogue gets one empty cell.
    if (page.imageCells == 0 && page.blankCells == 0) line(page, "<tr><td></td></tr>");
    line(page, "</table>");
    line(page, "<br>");
    line(page, "");
    line(page, "</body>");
    line(page, "</html>");
    page.open = false;
    if (!page.file.write(page.text.data(), page.text.size())) {
        page.file.abandon();
        return platform::kFileWriteError;
    }
    return page.file.commit();
}

}  // namespace tv
