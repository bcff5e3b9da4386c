#include "probes/ip_region_db.h"

#include <algorithm>
#include <cctype>

namespace {

const size_t kHeadBytes = 8;
const size_t kEntryBytes = 12;
// Where the made-on line is looked for: the bytes after the index, no more than these.
const size_t kTrailerScanBytes = 256;

bool IsDateAt(const std::string& text, size_t at) {
    // yyyy/mm/dd, the form the file's last line uses.
    static const char kShape[] = "dddd/dd/dd";
    if (at + sizeof(kShape) - 1 > text.size()) return false;
    for (size_t i = 0; i + 1 < sizeof(kShape); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[at + i]);
        if (kShape[i] == 'd' ? !std::isdigit(c) : c != '/') return false;
    }
    return true;
}

}  // namespace

uint32_t CIpRegionDb::Word(size_t offset) const {
    const auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data()) + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool CIpRegionDb::Load(std::string bytes, std::string* error) {
    m_bytes = std::move(bytes);
    m_count = 0;
    if (m_bytes.size() < kHeadBytes + kEntryBytes) {
        *error = "too short for a database";
        return false;
    }
    const size_t first = Word(0);
    const size_t last = Word(4);
    if (first < kHeadBytes || last < first || (last - first) % kEntryBytes != 0 ||
        last + kEntryBytes > m_bytes.size()) {
        *error = "its index lies outside the file";
        return false;
    }
    m_first = first;
    const size_t count = (last - first) / kEntryBytes + 1;
    if (Word(first) > Word(first + 4) || Word(last) > Word(last + 4) ||
        (count > 1 && Word(first + 4) >= Word(last))) {
        *error = "its index is not in address order";
        return false;
    }
    m_count = count;
    return true;
}

std::string CIpRegionDb::Lookup(uint32_t address) const {
    size_t low = 0;
    size_t high = m_count;  // entries [low, high) may still hold the address
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        const size_t entry = m_first + mid * kEntryBytes;
        if (address < Word(entry)) {
            high = mid;
        } else if (address > Word(entry + 4)) {
            low = mid + 1;
        } else {
            const uint32_t pointer = Word(entry + 8);
            const size_t length = pointer >> 24;
            const size_t offset = pointer & 0x00FFFFFFu;
            // The city number comes first; a record shorter than it has no text.
            if (length <= 4 || offset + length > m_bytes.size()) return "";
            return m_bytes.substr(offset + 4, length - 4);
        }
    }
    return "";
}

std::string CIpRegionDb::Date() const {
    if (m_count == 0) return "";
    const size_t end = m_first + m_count * kEntryBytes;
    const size_t scanEnd = std::min(m_bytes.size(), end + kTrailerScanBytes);
    const std::string trailer = m_bytes.substr(end, scanEnd - end);
    for (size_t at = trailer.size(); at-- > 0;) {
        if (IsDateAt(trailer, at)) return trailer.substr(at, 10);
    }
    return "";
}
