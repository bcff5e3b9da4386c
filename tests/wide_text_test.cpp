#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CToGbkCase {
    const char* name;
    std::wstring text;
    EGbkRule rule;
    bool converts;
    std::string gbk;  // expected bytes when it converts
};

struct CFromGbkCase {
    const char* name;
    std::string gbk;
    EGbkRule rule;
    bool converts;
    std::wstring text;  // expected text when it converts and the case says which
};

}  // namespace

TEST(GbkConverter, EachRuleTreatsTextWithoutGbkFormAsItSays) {
    const CToGbkCase cases[] = {
        {"Chinese under the strict rule", L"\u4f8b\u5b50.com", EGbkRule::kRefuse, true,
         "\xC0\xFD\xD7\xD3.com"},
        {"Chinese, question mark", L"\u4f8b", EGbkRule::kReplaceQuestionMark, true, "\xC0\xFD"},
        {"full-width keeps its own form", L"\xFF21", EGbkRule::kRefuse, true, "\xA3\xC1"},
        {"Thai refused", L"a\u0e01b", EGbkRule::kRefuse, false, ""},
        {"Thai as '?'", L"a\u0e01b", EGbkRule::kReplaceQuestionMark, true, "a?b"},
        {"empty converts", L"", EGbkRule::kRefuse, true, ""},
    };
    for (const CToGbkCase& c : cases) {
        std::string gbk = "stale";
        EXPECT_EQ(c.converts, Utf16ToGbk(c.text, c.rule, &gbk)) << c.name;
        EXPECT_EQ(c.gbk, gbk) << c.name;
    }
    // The look-alike rule never fails on content, whatever the system substitutes.
    std::string gbk;
    EXPECT_TRUE(Utf16ToGbk(L"a\u0e01b", EGbkRule::kReplaceLookAlike, &gbk));
    EXPECT_EQ(3u, gbk.size());
}

TEST(GbkConverter, BytesThatAreNoGbkCharacterFailOnlyWhenRefused) {
    const CFromGbkCase cases[] = {
        {"Chinese", "\xC0\xFD.com", EGbkRule::kRefuse, true, L"\u4f8b.com"},
        {"lead byte cut off, refused", "a\x81", EGbkRule::kRefuse, false, L""},
        {"empty", "", EGbkRule::kRefuse, true, L""},
    };
    for (const CFromGbkCase& c : cases) {
        std::wstring text = L"stale";
        EXPECT_EQ(c.converts, GbkToUtf16(c.gbk, c.rule, &text)) << c.name;
        EXPECT_EQ(c.text, text) << c.name;
    }
    std::wstring text;
    EXPECT_TRUE(GbkToUtf16("a\x81", EGbkRule::kReplaceLookAlike, &text));
    EXPECT_EQ(L'a', text.at(0));
}

TEST(PathConverter, FolderNamesInAnyLanguageComeBackUnchanged) {
    const std::wstring names[] = {
        L"C:\\\u68c0\u6d4b\\Tollvane.exe",    // Chinese
        L"C:\\Users\\Jos\u00e9\\report.txt",  // Western, outside GBK's Latin
        L"C:\\odd\xD800name",                 // an unpaired surrogate is a legal name
    };
    for (const std::wstring& name : names) {
        const CFilePath path = WideToPath(name);
        std::wstring back;
        ASSERT_TRUE(PathToWide(path, &back));
        EXPECT_EQ(name, back);
    }
    EXPECT_EQ("C:\\Users\\Jos\xC3\xA9", WideToPath(L"C:\\Users\\Jos\u00e9"));
    std::wstring wide = L"stale";
    EXPECT_FALSE(PathToWide("bad\xFF", &wide));
    EXPECT_TRUE(wide.empty());
}
