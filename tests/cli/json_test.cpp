// The JSON of preset show: texts from settings files are outside data, and the
// output must stay valid UTF-8 whatever bytes they hold.
#include <gtest/gtest.h>

#include "json_writer.h"

namespace tv::test {
namespace {

std::string jsonText(std::string_view s) {
    cli::JsonWriter w;
    w.text(s);
    return w.str();
}

TEST(Json, TextsStayValidUtf8) {
    EXPECT_EQ(jsonText("Red \"Moon\"\\\n"), "\"Red \\\"Moon\\\"\\\\\\u000a\"");
    // Well-formed sequences pass as they are.
    EXPECT_EQ(jsonText("\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8D"), "\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8D\"");
    // Anything else reads as Latin-1, byte by byte: a stray continuation, an
    // overlong '/', a surrogate, a code point beyond U+10FFFF, a cut sequence.
    EXPECT_EQ(jsonText("\x80"), "\"\\u0080\"");
    EXPECT_EQ(jsonText("\xC0\xAF"), "\"\\u00c0\\u00af\"");
    EXPECT_EQ(jsonText("\xE0\x80\xAF"), "\"\\u00e0\\u0080\\u00af\"");
    EXPECT_EQ(jsonText("\xED\xA0\x80"), "\"\\u00ed\\u00a0\\u0080\"");
    EXPECT_EQ(jsonText("\xF4\x90\x80\x80"), "\"\\u00f4\\u0090\\u0080\\u0080\"");
    EXPECT_EQ(jsonText("\xE2\x82"), "\"\\u00e2\\u0082\"");
}

}  // namespace
}  // namespace tv::test
