#include <gtest/gtest.h>

#include "platform/path_text.h"

namespace {

struct CPathCase {
    const char* name;
    std::u16string units;
    std::string bytes;
};

}  // namespace

TEST(PathText, EveryWindowsNameTravelsAsBytesAndBack) {
    const CPathCase cases[] = {
        {"ascii", u"C:\\Reports\\NetTestReport.txt", "C:\\Reports\\NetTestReport.txt"},
        {"latin", u"C:\\Users\\Jos\u00e9\\r.txt", "C:\\Users\\Jos\xC3\xA9\\r.txt"},
        {"chinese", u"D:\\\u62a5\u544a\\r.txt", "D:\\\xE6\x8A\xA5\xE5\x91\x8A\\r.txt"},
        {"astral pair", u"\U0001F600.txt", "\xF0\x9F\x98\x80.txt"},
        // Legal in a Windows name, though no Unicode text.
        {"lone high surrogate", std::u16string(1, u'\xD83D') + u".txt", "\xED\xA0\xBD.txt"},
        {"lone low surrogate at end", u"a" + std::u16string(1, u'\xDE00'), "a\xED\xB8\x80"},
        {"empty", u"", ""},
    };
    for (const CPathCase& c : cases) {
        EXPECT_EQ(c.bytes, Utf16ToPath(c.units)) << c.name;
        std::u16string back;
        ASSERT_TRUE(PathToUtf16(c.bytes, &back)) << c.name;
        EXPECT_TRUE(back == c.units) << c.name;
    }
}

TEST(PathText, BytesNoEncoderWritesAreRefused) {
    const char* const refused[] = {
        "\xE9.txt",             // a Latin-1 byte
        "\xC0\xAF",             // overlong '/'
        "\xE0\x80\xAF",         // overlong '/' in three bytes
        "\xF4\x90\x80\x80",     // past U+10FFFF
        "\xE6\x8A",             // cut short
        "\xED\xA0\xBD\xED\xB8\x80",  // a pair spelled as two halves: one name, one spelling
        "\xB1\xA8\xB8\xE6",     // GBK bytes are report text, never a path
    };
    for (const char* bytes : refused) {
        std::u16string units;
        EXPECT_FALSE(PathToUtf16(bytes, &units)) << testing::PrintToString(std::string(bytes));
    }
}
