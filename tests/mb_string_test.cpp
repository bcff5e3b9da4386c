#include <gtest/gtest.h>

#include "platform/mb_string.h"
#include "platform/string_array.h"

// "检" is BC EC; "测" is B2 E2. A lead byte followed by '[' (0x5B) forms one character.
TEST(MbStringFind, NeverMatchesAtTheSecondByteOfADoubleByteCharacter) {
    const CString text("\x81[a[");  // 81 5B is one character; the first real "[" is at 3
    EXPECT_EQ(3, text.Find('['));
    EXPECT_EQ(3, text.Find("["));
    EXPECT_EQ(3, text.ReverseFind('['));
    EXPECT_EQ(-1, CString("\x81[").Find('['));
    // A marker whose first letter would be a trail byte is not found there.
    EXPECT_EQ(-1, CString("\x81Whois Server:").Find("Whois Server:"));
    EXPECT_EQ(3, CString("\x81WxWhois Server:").Find("Whois Server:"));
}

TEST(MbStringFind, ALeadByteBeforeAControlByteIsNoDoubleByteCharacter) {
    // UTF-8 "中" then LF: AD is a GBK lead byte, but LF can never be a trail byte.
    const CString utf8("\xE4\xB8\xAD\nnext");
    EXPECT_EQ(3, utf8.Find('\n'));
    CString converted(utf8);
    EXPECT_EQ(1, converted.Replace("\n", "\r\n"));
    EXPECT_EQ(CString("\xE4\xB8\xAD\r\nnext"), converted);
}

TEST(MbStringFind, StartPositionsAndAbsence) {
    const CString text("a.b.c");
    EXPECT_EQ(1, text.Find('.'));
    EXPECT_EQ(3, text.Find('.', 2));
    EXPECT_EQ(-1, text.Find('.', 4));
    EXPECT_EQ(-1, text.Find('.', 99));
    EXPECT_EQ(3, text.ReverseFind('.'));
    EXPECT_EQ(-1, text.Find("x"));
    EXPECT_EQ(0, text.Find("a.b"));
}

TEST(MbStringTrim, RemovesTheSixWhiteSpaceBytesAtBothEndsOnly) {
    CString text(" \t\r\n\v\fa b\f\v\n\r\t ");
    text.Trim();
    EXPECT_EQ(CString("a b"), text);
    CString blank(" \r\n ");
    EXPECT_TRUE(blank.Trim().IsEmpty());
    // A trail byte is never white space, so a double-byte character ending the text stays.
    CString chinese("\xBC\xEC  ");
    EXPECT_EQ(CString("\xBC\xEC"), chinese.Trim());
}

TEST(MbStringSubstrings, ClampLikeTheFramework) {
    const CString text("abcdef");
    EXPECT_EQ(CString("cdef"), text.Mid(2));
    EXPECT_EQ(CString("cd"), text.Mid(2, 2));
    EXPECT_EQ(CString("ef"), text.Mid(4, 99));
    EXPECT_EQ(CString(""), text.Mid(9, 2));
    EXPECT_EQ(CString(""), text.Mid(2, -3));
    EXPECT_EQ(CString("ab"), text.Mid(-5, 2));
    EXPECT_EQ(CString("abc"), text.Left(3));
    EXPECT_EQ(CString("abcdef"), text.Left(40));
    EXPECT_EQ(CString(""), text.Left(-1));
    EXPECT_EQ(CString("ef"), text.Right(2));
    EXPECT_EQ(CString("abcdef"), text.Right(10));
}

TEST(MbStringReplace, ReplacesEveryOccurrenceIncludingThoseAfterCarriageReturns) {
    CString text("a\r\nb\nc\n");
    EXPECT_EQ(3, text.Replace("\n", "\r\n"));
    EXPECT_EQ(CString("a\r\r\nb\r\nc\r\n"), text);
    CString none("abc");
    EXPECT_EQ(0, none.Replace("x", "y"));
    EXPECT_EQ(CString("abc"), none);
}

TEST(MbStringCompareAndFormat, CaseSensitiveAndWholeContent) {
    EXPECT_EQ(0, CString("com").Compare("com"));
    EXPECT_NE(0, CString("COM").Compare("com"));
    CString text("old content");
    text.Format("%4d-%2d|%s", 2026, 3, "x");
    EXPECT_EQ(CString("2026- 3|x"), text);
    EXPECT_EQ(9, text.GetLength());
    CString joined = CString("a") + "b" + CString("c");
    joined += 'd';
    EXPECT_EQ(CString("abcd"), joined);
}

TEST(StringArray, KeepsAppendOrderAndThrowsOutsideItsSize) {
    CStringArray array;
    EXPECT_EQ(0, array.Add("one"));
    EXPECT_EQ(1, array.Add("two"));
    EXPECT_EQ(2, array.GetSize());
    EXPECT_EQ(CString("two"), array.GetAt(1));
    EXPECT_THROW(array.GetAt(2), std::invalid_argument);
    EXPECT_THROW(array.GetAt(-1), std::invalid_argument);
}
