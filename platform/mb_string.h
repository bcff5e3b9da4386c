// Byte string in the program's multibyte code page (GBK, code page 936).
//
// Lengths and positions are byte counts. Searches step over double-byte characters,
// so they never match at the second byte of one; a lead byte is 0x81..0xFE.
#pragma once

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text);  // NOLINT: implicit, as the framework's string is
    CString(const char* data, int length);
    explicit CString(const std::string& bytes);

    int GetLength() const { return static_cast<int>(m_bytes.size()); }
    bool IsEmpty() const { return m_bytes.empty(); }
    void Empty() { m_bytes.clear(); }
    const char* GetString() const { return m_bytes.c_str(); }
    const std::string& Bytes() const { return m_bytes; }
    char GetAt(int index) const { return m_bytes.at(static_cast<size_t>(index)); }

    // Finds return -1 when absent or when start lies past the end.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;
    int ReverseFind(char ch) const;

    // Substrings clamp their arguments instead of failing.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();

    // Replaces every occurrence; returns how many were replaced.
    int Replace(const char* oldText, const char* newText);
    // Byte-wise, case-sensitive: <0, 0 or >0.
    int Compare(const char* other) const;

    void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    void Append(const char* data, int length);
    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend bool operator==(const CString& a, const CString& b) { return a.m_bytes == b.m_bytes; }
    friend bool operator!=(const CString& a, const CString& b) { return a.m_bytes != b.m_bytes; }
    friend bool operator<(const CString& a, const CString& b) { return a.m_bytes < b.m_bytes; }

private:
    int FindBytes(const char* sub, int subLength, int start) const;

    std::string m_bytes;
};

// True for bytes that open a double-byte GBK character.
inline bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// Length of the character that starts at bytes[pos]: 2 for a lead byte followed by a
// valid trail byte, else 1. Text from outside is not always GBK (registries answer in
// UTF-8 too); a lead byte before a line end or other ASCII control is no double-byte
// character, and treating it as one would hide that byte from every search.
int GbkCharLength(const std::string& bytes, size_t pos);
