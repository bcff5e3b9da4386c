#include <gtest/gtest.h>

#include <windows.h>

#include <new>
#include <random>
#include <string>

#include "app/gbk_text.h"
#include "app/output_area.h"
#include "tests/test_support.h"

namespace {

CString Bytes(const std::string& bytes) { return CString(bytes); }

// A multi-line read-only edit control like the dialog's, without a display.
class OutputArea : public ::testing::Test {
protected:
    void SetUp() override {
        m_edit = CreateWindowExW(0, L"EDIT", L"", ES_MULTILINE | ES_READONLY | ES_WANTRETURN | WS_VSCROLL,
                                 0, 0, 300, 200, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_edit, nullptr);
        PrepareOutputArea(m_edit);
    }
    void TearDown() override { DestroyWindow(m_edit); }

    bool Append(const CString& gbk, std::wstring (*convert)(const CString&) = &GbkToWide) {
        return AppendToOutputArea(m_edit, &m_report, gbk, convert);
    }
    // What the area shows, taken back into the report's bytes.
    CString Shown() const {
        const int length = GetWindowTextLengthW(m_edit);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        text.resize(static_cast<size_t>(GetWindowTextW(m_edit, &text[0], length + 1)));
        return WideToGbk(text);
    }

    HWND m_edit = nullptr;
    CReportBuffer m_report;
};

}  // namespace

TEST(GbkText, ChineseBecomesItsUnicodeCharactersAndBack) {
    const CString report("第1步---获取域名信息：2026-12- 7  5: 0:12\r\n");
    const std::wstring wide = GbkToWide(report);
    EXPECT_EQ(wide, L"\u7b2c1\u6b65---\u83b7\u53d6\u57df\u540d\u4fe1\u606f\uff1a2026-12- 7  5: 0:12\r\n");
    EXPECT_EQ(WideToGbk(wide), report);
}

TEST(GbkText, BytesOutsideGbkSurviveTheRoundTrip) {
    const std::string cases[] = {
        std::string("abc\0def", 7),          // a NUL inside the text
        "\xB5",                               // a lead byte cut off at the end
        "ok \xFF\x80 \x81\x7F \xA1",          // stray high bytes and a lead byte before a non-trail
        "\xE4\xBD\xA0\xE5\xA5\xBD",           // UTF-8 from a server that is not GBK text
        std::string("\0", 1),
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(WideToGbk(GbkToWide(Bytes(bytes))), Bytes(bytes));
    }
}

TEST(GbkText, RandomBytesSurviveTheRoundTrip) {
    std::mt19937 random(20261207);
    std::string bytes;
    for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(random() & 0xFF);
    const CString original(bytes);
    const std::wstring wide = GbkToWide(original);
    EXPECT_EQ(WideToGbk(wide), original);
    // Valid characters among the noise still show as themselves.
    EXPECT_EQ(GbkToWide(CString("x\xFF\xBC\xEC")), std::wstring(L"x") + wchar_t(0xDCFF) + L"\u68c0");
}

TEST(GbkText, TypedTextWithoutGbkFormIsRefused) {
    CString bytes;
    ASSERT_TRUE(TypedTextToGbk(L"\u4f8b\u5b50.com", &bytes));
    EXPECT_EQ(bytes, CString("例子.com"));
    EXPECT_FALSE(TypedTextToGbk(L"bad\u0e01.com", &bytes));     // Thai has no GBK form
    // Full-width letters keep their own GBK form rather than turning into ASCII.
    ASSERT_TRUE(TypedTextToGbk(L"\xFF21.com", &bytes));
    EXPECT_EQ(bytes, CString("\xA3\xC1.com"));
    ASSERT_TRUE(TypedTextToGbk(L"", &bytes));
    EXPECT_TRUE(bytes.IsEmpty());
}

TEST_F(OutputArea, ShowsAndKeepsExactlyWhatWasAppended) {
    const std::string pieces[] = {
        "======================= 开始检测 =======================\r\n",
        "\r\n第1步---获取域名信息：2026- 1- 2  3: 4: 5\r\n",
        "lone\nline\rends\r\r\n",
        std::string("nul\0inside \xFF\x80", 14),
        "\r\n \r\n" + std::string(69, '*'),
    };
    std::string expected;
    for (const std::string& piece : pieces) {
        Append(CString(piece));
        expected += piece;
    }
    EXPECT_EQ(Shown(), CString(expected));
    EXPECT_EQ(m_report.Snapshot(), CString(expected));
    ClearOutputArea(m_edit, &m_report);
    EXPECT_TRUE(Shown().IsEmpty());
    EXPECT_TRUE(m_report.Snapshot().IsEmpty());
}

TEST_F(OutputArea, AppendGoesToTheEndWhateverIsSelected) {
    Append("first line\r\nsecond line\r\n");
    SendMessageW(m_edit, EM_SETSEL, 2, 8);  // the user selects inside the report
    Append("third");
    EXPECT_EQ(Shown(), CString("first line\r\nsecond line\r\nthird"));
    SendMessageW(m_edit, EM_SETSEL, 0, 0);
    Append("!");
    EXPECT_EQ(Shown(), CString("first line\r\nsecond line\r\nthird!"));
}

TEST_F(OutputArea, LongReportIsNeverCut) {
    std::string line(998, '#');
    line += "\r\n";
    std::string expected;
    for (int i = 0; i < 150; ++i) {  // 150 000 bytes, far past the control's default 30 000
        Append(CString(line));
        expected += line;
    }
    ASSERT_EQ(Shown().GetLength(), static_cast<int>(expected.size()));
    EXPECT_EQ(Shown(), CString(expected));
}

namespace {

std::wstring OutOfMemory(const CString&) { throw std::bad_alloc(); }

}  // namespace

// Memory running out while a piece is prepared for the window leaves a note in its
// place, in the area and in the report saved; the report before it stays, and the next
// piece is appended as usual.
TEST_F(OutputArea, AnAllocationFailureLeavesANoteInsteadOfEndingTheProgram) {
    EXPECT_TRUE(Append("before\r\n"));
    EXPECT_FALSE(Append("lost", &OutOfMemory));
    EXPECT_TRUE(Append("after"));
    const CString expected("before\r\n\r\n内存不足，此处一段报告未能显示。\r\nafter");
    EXPECT_EQ(expected, Shown());
    EXPECT_EQ(expected, m_report.Snapshot());
}
