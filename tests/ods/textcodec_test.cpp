#include "ods/textcodec.h"

#include <gtest/gtest.h>

namespace ravelin::ods {
namespace {

TEST(TextCodec, DecodesThroughTheCodePageAndStopsAtZero)
{
    ASSERT_TRUE(SetCodePage("WIN1252"));
    // 0x80 is the euro sign in WIN1252, 0xE9 e-acute.
    EXPECT_EQ(DecodeText(std::string_view("caf\xE9 \x80\0tail", 11)), "café €");
    EXPECT_EQ(EncodeText("café €"), "caf\xE9 \x80");
    EXPECT_EQ(EncodeText("日本"), "??");
}

TEST(TextCodec, OtherCodePageAndUnknownName)
{
    ASSERT_TRUE(SetCodePage("CP1251"));
    EXPECT_EQ(DecodeText(std::string_view("\xC0\xC1")), "АБ");
    EXPECT_FALSE(SetCodePage("NO-SUCH-CODEPAGE"));
    EXPECT_EQ(CodePage(), "CP1251");
    EXPECT_FALSE(SetCodePage("UTF-8"));  // not a single-byte code page
    ASSERT_TRUE(SetCodePage("WIN1252"));
}

TEST(TextCodec, SingleByteCodePagesDecodeEveryLetter)
{
    struct Row {
        const char* codePage;
        std::string stored;
        std::string text;
    };
    // CP1255 and CP1258 converters hold a letter back waiting for a combining
    // mark; each byte must still come out as its letter.
    const Row rows[] = {
        {"CP1255", "\xE0\xE1\xF9", "אבש"},
        {"CP1258", "\xC3\xD0", "ĂĐ"},
        {"ISO-8859-2", "\xA3\xF3" "d\xBC", "Łódź"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.codePage);
        ASSERT_TRUE(SetCodePage(r.codePage));
        EXPECT_EQ(DecodeText(r.stored), r.text);
        EXPECT_EQ(EncodeText(r.text), r.stored);
    }
    ASSERT_TRUE(SetCodePage("WIN1252"));
}

TEST(TextCodec, RepeatTextMapsTheByteValueItself)
{
    ASSERT_TRUE(SetCodePage("WIN1252"));
    EXPECT_EQ(RepeatText(3, 0x41), "AAA");
    // 0x80 as a code point is U+0080, not the code page's euro sign.
    EXPECT_EQ(RepeatText(1, 0x80), "\xC2\x80");
    EXPECT_EQ(RepeatText(0, 0x41), "");
}

TEST(TextCodec, Utf16LeHasNoByteOrderMark)
{
    EXPECT_EQ(Utf8ToUtf16Le("A€"), std::string("A\0\xAC\x20", 4));
    EXPECT_EQ(Utf8ToUtf16Le("😀"), std::string("\x3D\xD8\x00\xDE", 4));
}

// Texts from the file on a terminal or in a log line: no control sequence
// and no line break gets through, and ordinary text is left alone.
TEST(TextCodec, ShownTextEscapesControlsAndStrayBytes)
{
    const struct {
        const char* name;
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain text", "CUSTOMER_1 (x)", "CUSTOMER_1 (x)"},
        {"letters beyond ASCII", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"a backslash stays", "C:\\data", "C:\\data"},
        {"tab, line feed, carriage return", "a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"an escape sequence", "\x1b[31mRED\x1b[0m", "\\x1b[31mRED\\x1b[0m"},
        {"other C0 controls and DEL", std::string("\x00\x07\x7f", 3), "\\x00\\x07\\x7f"},
        {"a C1 control in UTF-8", "a\xc2\x9b" "2J", "a\\u009b2J"},
        {"a stray continuation byte", "a\x80z", "a\\x80z"},
        {"a sequence cut short", "a\xe2\x82", "a\\xe2\\x82"},
        {"an overlong form", "\xc0\xaf", "\\xc0\\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ShownText(c.text), c.shown);
    }
}

}  // namespace
}  // namespace ravelin::ods
