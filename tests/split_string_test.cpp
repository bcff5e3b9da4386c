#include "probes/split_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

std::vector<std::string> Split(const CString& text, const CString& delimiter) {
    CStringArray pieces;
    SplitString(text, delimiter, &pieces);
    std::vector<std::string> out;
    for (int i = 0; i < pieces.GetSize(); ++i) out.push_back(pieces.GetAt(i).Bytes());
    return out;
}

using Pieces = std::vector<std::string>;

}  // namespace

TEST(SplitString, SplitsAtEveryDelimiterKeepingEmptyPieces) {
    EXPECT_EQ((Pieces{"www", "example", "com"}), Split("www.example.com", "."));
    EXPECT_EQ((Pieces{"x", "", "com"}), Split("x..com", "."));
    EXPECT_EQ((Pieces{"com", ""}), Split("com.", "."));
    EXPECT_EQ((Pieces{"a\r", "b\r", ""}), Split("a\r\nb\r\n", "\n"));
    EXPECT_EQ((Pieces{"a", "b", "c"}), Split("a<>b<>c", "<>"));
}

TEST(SplitString, AlwaysYieldsAtLeastOnePiece) {
    EXPECT_EQ((Pieces{""}), Split("", "."));
    EXPECT_EQ((Pieces{"com"}), Split("com", "."));
}

TEST(SplitString, ADelimiterAtTheFirstByteLeavesTheTextWhole) {
    EXPECT_EQ((Pieces{".com"}), Split(".com", "."));
    EXPECT_EQ((Pieces{".a.b"}), Split(".a.b", "."));
    EXPECT_EQ((Pieces{"\nWhois Server: x\nrest"}), Split("\nWhois Server: x\nrest", "\n"));
    // Only the first search is affected: later delimiters lie past position 0.
    EXPECT_EQ((Pieces{"a", "", "b"}), Split("a..b", "."));
}

TEST(SplitString, AppendsAfterWhatTheArrayAlreadyHolds) {
    CStringArray pieces;
    pieces.Add("kept");
    SplitString("a.b", ".", &pieces);
    ASSERT_EQ(3, pieces.GetSize());
    EXPECT_EQ(CString("kept"), pieces.GetAt(0));
    EXPECT_EQ(CString("a"), pieces.GetAt(1));
    EXPECT_EQ(CString("b"), pieces.GetAt(2));
}

TEST(SplitString, NeverSplitsInsideADoubleByteCharacter) {
    // 0x5C ("\") is a valid second byte of a GBK character; only the lone one splits.
    EXPECT_EQ((Pieces{"a", "b\x81\\c"}), Split("a\\b\x81\\c", "\\"));
    // Chinese labels keep their bytes.
    EXPECT_EQ((Pieces{"例子", "中国"}), Split("例子.中国", "."));
}

TEST(SplitString, AnEmptyDelimiterLeavesTheTextWhole) {
    EXPECT_EQ((Pieces{"abc"}), Split("abc", ""));
}
