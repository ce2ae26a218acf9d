#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/programs.h"
#include "../support/temp_home.h"
#include "export/frame_gifs.h"
#include "export/html_page.h"
#include "platform/files.h"

namespace tv::test {
namespace {

TEST(HtmlEscaping, TextBecomesPlainAsciiWithEntities) {
    EXPECT_EQ(escapeHtmlText("Tom & Jerry"), "Tom &amp; Jerry");
    EXPECT_EQ(escapeHtmlText("<b>\"x\"</b>"), "&lt;b&gt;&quot;x&quot;&lt;/b&gt;");
    EXPECT_EQ(escapeHtmlText("a{b}~"), "a&#123;b&#125;&#126;");
    EXPECT_EQ(escapeHtmlText("plain text 123"), "plain text 123");
    // UTF-8 characters of Latin-1 get their entity names, others numbers.
    EXPECT_EQ(escapeHtmlText("Caf\xC3\xA9 \xC2\xA0\xC3\xBF"), "Caf&eacute; &nbsp;&yuml;");
    EXPECT_EQ(escapeHtmlText("\xE2\x82\xAC 5"), "&#8364; 5");
    EXPECT_EQ(escapeHtmlText("\xF0\x9F\x8C\x8D"), "&#127757;");
    // Bytes that are not UTF-8 stand for their Latin-1 characters.
    EXPECT_EQ(escapeHtmlText("Caf\xE9"), "Caf&eacute;");
    EXPECT_EQ(escapeHtmlText("\x80\xC3"), "&#128;&Atilde;");
    EXPECT_EQ(escapeHtmlText("\xE0\x80\x80"), "&agrave;&#128;&#128;");  // overlong form
    // Control characters no page may hold.
    EXPECT_EQ(escapeHtmlText(std::string("a\x01\tb\x00", 5)), "a?\tb?");
    // File names in a src attribute keep only ASCII letters and digits.
    EXPECT_EQ(escapeFileName("Red Moon"), "Red%20Moon");
    EXPECT_EQ(escapeFileName("dot 7"), "dot%207");
    EXPECT_EQ(escapeFileName("a.b-c_d/e"), "a%2eb%2dc%5fd%2fe");
    EXPECT_EQ(escapeFileName("Caf\xC3\xA9"), "Caf%c3%a9");
    EXPECT_EQ(escapeFileName("Zz09"), "Zz09");
}

class HtmlPageTest : public TempHome {};

TEST_F(HtmlPageTest, ImagesFillRowsPaddedWithBlanksUnderAnEscapedHeading) {
    CataloguePage page;
    ASSERT_EQ(beginPage(page, path("page.html"), "/somewhere/Tom & Jerry/", kCataloguePresets, 5), 0);
    addImageCell(page, "Red Moon", ".jpg", 88, 88);
    addImageCell(page, "<Mars>", ".jpg", 88, 88);
    for (int i = 0; i < 9; ++i) addImageCell(page, std::to_string(i), ".jpg", 88, 88);
    ASSERT_EQ(endPage(page), 0);
    EXPECT_EQ(page.blankCells, 4);  // eleven images in five columns: three rows
    const std::string html = readText(path("page.html"));
    EXPECT_EQ(countOf(html, "<p></p>"), 4u);
    EXPECT_EQ(countOf(html, "<p>&nbsp;</p>"), 15u);  // a spacer row of five after each row
    EXPECT_EQ(countOf(html, "id=\"Table_"), 11u);
    EXPECT_NE(html.find("<title>Terravane presets</title>"), std::string::npos);
    EXPECT_NE(html.find("<b>Terravane presets from Tom &amp; Jerry\r\n"), std::string::npos);
    EXPECT_NE(html.find("<img src=\"web_images/Red%20Moon.jpg\" alt=\"Red Moon.jpg\" width=\"88\" height=\"88\""),
              std::string::npos);
    EXPECT_NE(html.find(">&lt;Mars&gt;</font>"), std::string::npos);
    EXPECT_EQ(html.find("<Mars>"), std::string::npos);
    // The frame around an 88 x 88 thumbnail.
    EXPECT_NE(html.find("<img src=\"web_images/top.gif\" alt=\"\" width=\"94\" height=\"2\""), std::string::npos);
    EXPECT_NE(html.find("<img src=\"web_images/left.gif\" alt=\"\" width=\"3\" height=\"88\""), std::string::npos);
    EXPECT_TRUE(html.ends_with("</body>\r\n</html>\r\n"));
    // Memory-dot pages name their kind; columns are clamped to ten.
    CataloguePage dots;
    ASSERT_EQ(beginPage(dots, path("dots.html"), "", kCatalogueMemoryDots, 40), 0);
    EXPECT_EQ(dots.columns, 10);
    ASSERT_EQ(endPage(dots), 0);
    EXPECT_NE(readText(path("dots.html")).find("<title>Terravane memory dots</title>"), std::string::npos);
}

TEST_F(HtmlPageTest, FramePiecesAreWrittenBesideThePageAsValidGifs) {
    CataloguePage page;
    ASSERT_EQ(beginPage(page, path("page.html"), "", kCataloguePresets, 5), 0);
    ASSERT_EQ(endPage(page), 0);
    for (const char* name : {"top.gif", "left.gif", "right.gif", "bottom.gif"}) {
        const std::string file = path("web_images/") + name;
        std::string out;
        EXPECT_EQ(runCommand("identify -format '%m' '" + file + "' 2>&1", &out), 0) << out;
        EXPECT_EQ(out, "GIF") << name;
    }
}

TEST(FrameGifs, CommittedBytesAreWhatTheGeneratorMakes) {
    const std::string tool = std::string(TV_BINARY_DIR) + "/tool_frame_gifs";
    if (!std::filesystem::exists(tool)) GTEST_SKIP() << "tool_frame_gifs is not built";
    const std::string out = std::filesystem::temp_directory_path() / ("tv-frame-gifs-" + std::to_string(::getpid()));
    ASSERT_EQ(runCommand("'" + tool + "' '" + out + "'", nullptr), 0);
    const std::vector<uint8_t> generated = readBytes(out);
    std::filesystem::remove(out);
    EXPECT_EQ(generated, readBytes(std::string(TV_SOURCE_DIR) + "/src/export/frame_gifs_data.cpp"));
    ASSERT_EQ(frameGifs().size(), 4u);
}

TEST_F(HtmlPageTest, UncreatablePagesAreReported) {
    CataloguePage nowhere;
    EXPECT_EQ(beginPage(nowhere, path("missing/folder/page.html"), "", kCataloguePresets, 5), platform::kFileOpenError);
    EXPECT_EQ(endPage(nowhere), platform::kFileWriteError);
}

TEST_F(HtmlPageTest, PagesPassTheHtml401Validator) {
    const char* catalog = "/usr/share/sgml/html/dtd/4.01/catalog";
    const char* decl = "/usr/share/sgml/html/dtd/4.01/HTML4.decl";
    if (!haveProgram("onsgmls") || !std::filesystem::exists(catalog))
        GTEST_SKIP() << "onsgmls and the HTML 4.01 DTD (opensp, sgml-data) are not installed";
    {
        CataloguePage page;
        ASSERT_EQ(beginPage(page, path("full.html"), "/x/Caf\xC3\xA9 & <co>", kCataloguePresets, 5), 0);
        for (int i = 0; i < 7; ++i) addImageCell(page, "Planet \"" + std::to_string(i) + "\" \xE2\x82\xAC", ".jpg", 88, 88);
        ASSERT_EQ(endPage(page), 0);
    }
    {
        CataloguePage page;
        ASSERT_EQ(beginPage(page, path("empty.html"), "/x/none", kCataloguePresets, 5), 0);
        ASSERT_EQ(endPage(page), 0);
    }
    for (const char* name : {"full.html", "empty.html"}) {
        std::string out;
        const int rc = runCommand(std::string("onsgmls -s -c ") + catalog + " " + decl + " '" + path(name) + "' 2>&1", &out);
        EXPECT_EQ(rc, 0) << name << ":\n" << out;
        EXPECT_EQ(out, "") << name;
    }
}

}  // namespace
}  // namespace tv::test
