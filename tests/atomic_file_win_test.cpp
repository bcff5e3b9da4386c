#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "engine/report_file_text.h"
#include "tests/test_support.h"

namespace {

std::string PathBytes(const std::wstring& wide) {
    return Utf16ToPath(std::u16string(wide.begin(), wide.end()));
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

void WriteAllTo(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The folder's entries, as path bytes one a line.
std::string Entries(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    std::string names;
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names += PathBytes(name) + "\n";
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

int Lines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

class CWinSaveTest : public testing::Test {
protected:
    void SetUp() override {
        m_folder = Wide(TestScratchPath("save_win_" + std::to_string(GetCurrentProcessId())));
        RemoveTree(m_folder);
        ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(m_folder); }
    std::wstring In(const std::wstring& name) const { return m_folder + L"\\" + name; }

    std::wstring m_folder;
};

}  // namespace

// Names outside the ANSI code page (the Chinese one under a Western code page, or
// "José" under the Chinese one, where é has no form) are saved under their own names.
TEST_F(CWinSaveTest, FoldersNamedInAnyLanguageTakeTheReport) {
    // The run under another locale says which code page it meant to have.
    const char* expected = std::getenv("TOLLVANE_EXPECT_ACP");
    if (expected != nullptr) {
        ASSERT_EQ(std::strtoul(expected, nullptr, 10), GetACP());
    }
    const std::wstring names[] = {L"Jos\u00e9", L"\u68c0\u6d4b\u62a5\u544a", L"\u00c5sa \u0416\u0443\u043a"};
    for (const std::wstring& name : names) {
        const std::wstring folder = In(name);
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const std::wstring file = folder + L"\\NetTestReport.txt";
        CString error;
        EXPECT_TRUE(SaveReportFile(PathBytes(file), "\xBF\xAA\xCA\xBC first\r\n", &error))
            << PathBytes(name) << " " << error.Bytes();
        EXPECT_TRUE(SaveReportFile(PathBytes(file), "\xBF\xAA\xCA\xBC second\r\n", &error))
            << PathBytes(name) << " " << error.Bytes();
        EXPECT_EQ("\xBF\xAA\xCA\xBC second\r\n", ReadAll(file)) << PathBytes(name);
        EXPECT_EQ(1, Lines(Entries(folder))) << Entries(folder) << PathBytes(name);
    }
    // Nothing went to a folder of a mangled ("Jos?") name beside them.
    EXPECT_EQ(3, Lines(Entries(m_folder))) << Entries(m_folder) << "code page " << GetACP();
}

TEST_F(CWinSaveTest, HiddenAndSystemAttributesAreKeptOnOverwrite) {
    // (The archive bit is the system's own: set on every file that changes.)
    const DWORD cases[] = {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM,
                           FILE_ATTRIBUTE_SYSTEM};
    for (const DWORD attributes : cases) {
        const std::wstring file = In(L"kept" + std::to_wstring(attributes) + L".txt");
        WriteAllTo(file, "earlier");
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), attributes));
        CString error;
        EXPECT_TRUE(SaveReportFile(PathBytes(file), "new report", &error)) << error.Bytes();
        EXPECT_EQ("new report", ReadAll(file));
        const DWORD after = GetFileAttributesW(file.c_str());
        EXPECT_EQ(attributes, after & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
            << std::hex << attributes << " became " << after;
    }
    EXPECT_EQ(3, Lines(Entries(m_folder))) << Entries(m_folder) << "a temporary file was left behind";
}

TEST_F(CWinSaveTest, FailuresAreReportedAndLeaveTheEarlierReport) {
    const std::wstring readOnly = In(L"read-only.txt");
    WriteAllTo(readOnly, "earlier");
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    CString error;
    EXPECT_FALSE(SaveReportFile(PathBytes(readOnly), "new", &error));
    EXPECT_NE(-1, error.Find("只读")) << error.Bytes();
    EXPECT_EQ("earlier", ReadAll(readOnly));
    EXPECT_NE(0u, GetFileAttributesW(readOnly.c_str()) & FILE_ATTRIBUTE_READONLY);

    // Another program holds the file open and shares it with nobody.
    const std::wstring held = In(L"held.txt");
    WriteAllTo(held, "earlier");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    error.Empty();
    EXPECT_FALSE(SaveReportFile(PathBytes(held), "new", &error));
    EXPECT_NE(-1, error.Find("错误代码")) << error.Bytes();
    CloseHandle(holder);
    EXPECT_EQ("earlier", ReadAll(held));

    error.Empty();
    EXPECT_FALSE(SaveReportFile(PathBytes(In(L"missing\\report.txt")), "new", &error));
    EXPECT_EQ(0, error.Find("无法在目标文件夹中创建文件：")) << error.Bytes();

    error.Empty();
    EXPECT_FALSE(SaveReportFile(PathBytes(m_folder), "new", &error));
    EXPECT_NE(-1, error.Find("目录")) << error.Bytes();

    // Our temporary files are named after their target ("held.txt.<id>.tmp"). Wine's
    // ReplaceFileW leaves a file of its own ("rf<n>.tmp") behind when it fails, which is
    // not ours to remove.
    const std::string left = Entries(m_folder);
    EXPECT_EQ(std::string::npos, left.find(".txt.")) << left;
    EXPECT_NE(std::string::npos, left.find("held.txt\n")) << left;
}

// A name so long that no temporary name fits beside it: the file is rewritten in place.
TEST_F(CWinSaveTest, AFileNoTemporaryFileFitsBesideIsRewrittenInPlace) {
    const std::wstring file = In(std::wstring(240, L'r') + L".txt");
    WriteAllTo(file, "an earlier report, longer than the new one\r\n");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    CString error;
    EXPECT_TRUE(SaveReportFile(PathBytes(file), "new report\r\n", &error)) << error.Bytes();
    EXPECT_EQ("new report\r\n", ReadAll(file));
    EXPECT_NE(0u, GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    // A new file of such a name is made directly.
    const std::wstring fresh = In(std::wstring(240, L'n') + L".txt");
    EXPECT_TRUE(SaveReportFile(PathBytes(fresh), "report", &error)) << error.Bytes();
    EXPECT_EQ("report", ReadAll(fresh));
    EXPECT_EQ(2, Lines(Entries(m_folder))) << Entries(m_folder);
}

// A save through a symbolic link writes the file the link names, as the handle opened
// through it found it, and the link stays a link. Wine makes such a link a Unix one,
// which its file calls follow even when asked not to and whose handle reports the link's
// own name, so the case means something on Windows only.
TEST_F(CWinSaveTest, ALinkIsFollowedOnceAndKept) {
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr) {
        GTEST_SKIP() << "Wine's symbolic links are not Windows ones";
    }
    ASSERT_TRUE(CreateDirectoryW(In(L"reports").c_str(), nullptr));
    const std::wstring target = In(L"reports\\a.txt");
    const std::wstring link = In(L"link.txt");
    WriteAllTo(target, "an earlier, longer report\r\n");
    const DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), kUnprivileged)) {
        GTEST_SKIP() << "no symbolic links here (error " << GetLastError() << ")";
    }
    CString error;
    EXPECT_TRUE(SaveReportFile(PathBytes(link), "report via the link\r\n", &error)) << error.Bytes();
    EXPECT_EQ("report via the link\r\n", ReadAll(target));
    const DWORD attributes = GetFileAttributesW(link.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "the link was replaced by a file";
    EXPECT_EQ(1, Lines(Entries(In(L"reports")))) << Entries(In(L"reports")) << "a temporary file was left behind";
}
