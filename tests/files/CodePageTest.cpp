#include "files/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

TEST(CodePage, Utf8Validation)
{
    struct
    {
        std::string bytes;
        bool valid;
        const char* why;
    } const cases[] = {
        { "plain ASCII", true, "ASCII is UTF-8" },
        { "Привет", true, "Cyrillic in UTF-8" },
        { "\xCF\xF0\xE8\xE2\xE5\xF2", false, "the same word in code page 1251" },
        { "\xF0\x9F\x98\x80", true, "a four-byte sequence" },
        { "\xC0\xAF", false, "an overlong slash" },
        { "\xE0\x80\xAF", false, "an overlong three-byte slash" },
        { "\xED\xA0\x80", false, "a surrogate" },
        { "\xF4\x90\x80\x80", false, "above U+10FFFF" },
        { "\xD0", false, "a sequence cut short" },
        { "\x80", false, "a lone continuation byte" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.why;
}

TEST(CodePage, Cp1251BothWays)
{
    struct
    {
        std::string cp1251;
        std::string utf8;
        const char* why;
    } const cases[] = {
        { "abc", "abc", "ASCII is the same" },
        { "\xCD\xE0\xF1\xEE\xF1", "Насос", "Cyrillic letters" },
        { "\xA8\xB8", "Ёё", "Yo outside the main block" },
        { "\xB9\x88\xB0", "№€°", "signs of the upper half" },
        { "\x98", "\xC2\x98", "the undefined byte maps to U+0098" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1251ToUtf8(c.cp1251), c.utf8) << c.why;
        EXPECT_EQ(Utf8ToCp1251(c.utf8), c.cp1251) << c.why;
    }
}

TEST(CodePage, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
}

TEST(CodePage, CharactersOutsideCp1251HaveNoEncoding)
{
    for (const char* text : { "Ω", "м³", "😀", "ASCII then ✓", "\xD0" })
        EXPECT_EQ(Utf8ToCp1251(text), std::nullopt) << text;
}

TEST(CodePage, FileTextIsReadAsUtf8OnlyWhenItIs)
{
    struct
    {
        std::string bytes;
        std::string text;
        FileEncoding encoding;
        const char* why;
    } const cases[] = {
        { "PUMP1\t1", "PUMP1\t1", FileEncoding::Cp1251, "ASCII reads the same either way" },
        { "\xCA\xCD\xD1", "КНС", FileEncoding::Cp1251, "code page 1251 is not valid UTF-8" },
        { "КНС", "КНС", FileEncoding::Utf8, "valid UTF-8 with non-ASCII bytes" },
        { "\xEF\xBB\xBFPUMP1", "PUMP1", FileEncoding::Utf8, "a byte-order mark is dropped" },
        { "\xEF\xBB\xBF\xCA", "\xEF\xBF\xBD", FileEncoding::Utf8, "bad bytes behind a mark" },
        { "\xD0\x9A\xCA", "РљК", FileEncoding::Cp1251,
          "one bad sequence makes the whole file code page 1251" },
    };
    for (const auto& c : cases) {
        FileEncoding used =
            c.encoding == FileEncoding::Utf8 ? FileEncoding::Cp1251 : FileEncoding::Utf8;
        EXPECT_EQ(DecodeFileText(c.bytes, &used), c.text) << c.why;
        EXPECT_EQ(used, c.encoding) << c.why;
    }
}

TEST(CodePage, FileTextIsWrittenInCp1251UnlessACharacterIsMissing)
{
    struct
    {
        std::string text;
        std::string bytes;
        FileEncoding encoding;
        const char* why;
    } const cases[] = {
        { "PUMP1", "PUMP1", FileEncoding::Cp1251, "ASCII" },
        { "Насос №1",
          "\xCD\xE0\xF1\xEE\xF1 \xB9"
          "1",
          FileEncoding::Cp1251, "Cyrillic" },
        { "Объём, м³", "\xEF\xBB\xBFОбъём, м³", FileEncoding::Utf8,
          "the cube sign does not exist in code page 1251" },
        // Code-page bytes that are valid UTF-8 would read back as other text.
        { "НЁ", "\xEF\xBB\xBFНЁ", FileEncoding::Utf8, "CD A8 is U+0368" },
        { "ВёГі", "\xEF\xBB\xBFВёГі", FileEncoding::Utf8, "C2 B8 C3 B3" },
        { "п»їX", "\xEF\xBB\xBFп»їX", FileEncoding::Utf8, "EF BB BF is a byte-order mark" },
        { "НЁР", "\xCD\xA8\xD0", FileEncoding::Cp1251,
          "a byte that breaks the UTF-8 keeps code page 1251" },
    };
    for (const auto& c : cases) {
        FileEncoding used =
            c.encoding == FileEncoding::Utf8 ? FileEncoding::Cp1251 : FileEncoding::Utf8;
        EXPECT_EQ(EncodeFileText(c.text, &used), c.bytes) << c.why;
        EXPECT_EQ(used, c.encoding) << c.why;
        EXPECT_EQ(DecodeFileText(c.bytes), c.text) << c.why << " (read back)";
    }
}

} // namespace
} // namespace korvex
