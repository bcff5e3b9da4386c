#include "platform/mb_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool IsTrimSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
}

}  // namespace

int GbkCharLength(const std::string& bytes, size_t pos) {
    if (!IsGbkLeadByte(static_cast<unsigned char>(bytes[pos])) || pos + 1 >= bytes.size()) return 1;
    const unsigned char trail = static_cast<unsigned char>(bytes[pos + 1]);
    return (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) ? 2 : 1;
}

CString::CString(const char* text) : m_bytes(text ? text : "") {}

CString::CString(const char* data, int length)
    : m_bytes(data, length > 0 ? static_cast<size_t>(length) : 0) {}

CString::CString(const std::string& bytes) : m_bytes(bytes) {}

int CString::FindBytes(const char* sub, int subLength, int start) const {
    if (start < 0) start = 0;
    const size_t size = m_bytes.size();
    if (static_cast<size_t>(start) > size) return -1;
    const size_t need = static_cast<size_t>(subLength);
    for (size_t pos = static_cast<size_t>(start); pos + need <= size;
         pos += static_cast<size_t>(GbkCharLength(m_bytes, pos))) {
        if (m_bytes.compare(pos, need, sub, need) == 0) return static_cast<int>(pos);
        if (pos == size) break;
    }
    return -1;
}

int CString::Find(char ch, int start) const { return FindBytes(&ch, 1, start); }

int CString::Find(const char* sub, int start) const {
    return FindBytes(sub, static_cast<int>(std::strlen(sub)), start);
}

int CString::ReverseFind(char ch) const {
    int last = -1;
    for (size_t pos = 0; pos < m_bytes.size(); pos += static_cast<size_t>(GbkCharLength(m_bytes, pos))) {
        if (m_bytes[pos] == ch) last = static_cast<int>(pos);
    }
    return last;
}

CString CString::Mid(int first) const { return Mid(first, GetLength() - first); }

CString CString::Mid(int first, int count) const {
    const int length = GetLength();
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first > length) first = length;
    if (count > length - first) count = length - first;
    return CString(m_bytes.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const { return Mid(0, count); }

CString CString::Right(int count) const {
    const int length = GetLength();
    if (count < 0) count = 0;
    if (count > length) count = length;
    return Mid(length - count, count);
}

CString& CString::TrimLeft() {
    size_t begin = 0;
    while (begin < m_bytes.size() && IsTrimSpace(m_bytes[begin])) ++begin;
    m_bytes.erase(0, begin);
    return *this;
}

CString& CString::TrimRight() {
    // Walk forward by characters so a trail byte is never mistaken for white space.
    size_t runStart = m_bytes.size();
    for (size_t pos = 0; pos < m_bytes.size(); pos += static_cast<size_t>(GbkCharLength(m_bytes, pos))) {
        if (!IsTrimSpace(m_bytes[pos])) {
            runStart = m_bytes.size();
        } else if (runStart == m_bytes.size()) {
            runStart = pos;
        }
    }
    m_bytes.erase(runStart);
    return *this;
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

int CString::Replace(const char* oldText, const char* newText) {
    const int oldLength = static_cast<int>(std::strlen(oldText));
    if (oldLength == 0) return 0;
    std::string out;
    int count = 0;
    int from = 0;
    for (int pos = Find(oldText, 0); pos >= 0; pos = Find(oldText, from)) {
        out.append(m_bytes, static_cast<size_t>(from), static_cast<size_t>(pos - from));
        out.append(newText);
        from = pos + oldLength;
        ++count;
    }
    out.append(m_bytes, static_cast<size_t>(from), std::string::npos);
    m_bytes.swap(out);
    return count;
}

int CString::Compare(const char* other) const {
    const int result = std::strcmp(m_bytes.c_str(), other);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buffer(needed > 0 ? static_cast<size_t>(needed) + 1 : 1);
    if (needed > 0) std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    m_bytes.assign(buffer.data(), needed > 0 ? static_cast<size_t>(needed) : 0);
}

void CString::Append(const char* data, int length) {
    if (length > 0) m_bytes.append(data, static_cast<size_t>(length));
}

CString& CString::operator+=(const CString& other) {
    m_bytes += other.m_bytes;
    return *this;
}

CString& CString::operator+=(const char* text) {
    m_bytes += text;
    return *this;
}

CString& CString::operator+=(char ch) {
    m_bytes += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const char* b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const char* a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}
