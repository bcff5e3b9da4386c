// The offline IPv4 region database shipped beside the program (ip2region's data file,
// pinned in cmake/ip2region.cmake). Its layout: an 8-byte head holding the offsets of
// the first and the last index entry; index entries of 12 bytes (first address, last
// address, data pointer), sorted by address; the pointer's top byte is the record's
// length and its low 24 bits its offset; a record is a 4-byte city number followed by
// UTF-8 "country|region|province|city|carrier", "0" where a field is unknown. The file
// ends with a line naming the day it was made. All numbers little-endian.
#pragma once

#include <cstdint>
#include <string>

class CIpRegionDb {
public:
    // Takes the file's bytes; false, with the reason in *error, when their layout is
    // not the one above (an index pointing outside the file, entries out of order at
    // either end, a zero-length file).
    bool Load(std::string bytes, std::string* error);
    bool IsLoaded() const { return m_count > 0; }

    // The record's text of the entry holding a host-order IPv4 address, UTF-8; "" when
    // no entry holds it or the entry's record lies outside the file.
    std::string Lookup(uint32_t address) const;

    // The day the file says it was made ("2020/10/31"), or "" when it does not say.
    std::string Date() const;

private:
    uint32_t Word(size_t offset) const;

    std::string m_bytes;
    size_t m_first = 0;
    size_t m_count = 0;
};
