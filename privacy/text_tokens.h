// Lexical scanning of GBK report text for the things redaction replaces: MAC addresses
// in their three notations, longer hardware ids, IPv4 and IPv6 addresses, and names
// standing as words of their own. Every scan walks GBK characters, so the second byte of
// a Chinese character (which may be an ASCII letter or a backslash) never starts or ends
// a match.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ETokenKind {
    kMac,       // six bytes: AA-BB-CC-DD-EE-FF, aa:bb:cc:dd:ee:ff, aabb.ccdd.eeff
    kDeviceId,  // seven or more dash-separated bytes (a DHCPv6 client id)
    kBareHex,   // twelve hex digits alone: a MAC only if the report names it elsewhere
    kIpv4,
    kIpv6,
};

struct CTextToken {
    size_t at = 0;
    size_t size = 0;
    ETokenKind kind = ETokenKind::kIpv4;
    // MACs and bare hex: twelve lower-case hex digits; ids: lower case without
    // separators; addresses: as written, lower case.
    std::string value;
};

// For each byte offset (and the end), whether a character starts there.
std::vector<bool> CharStarts(std::string_view text);
// Every token of the text, in order, none overlapping.
std::vector<CTextToken> FindTokens(std::string_view text, const std::vector<bool>& starts);

// The sixteen bytes of an IPv6 address (an IPv4 tail allowed); false when text is not one.
bool ParseIpv6Bytes(std::string_view text, uint8_t bytes[16]);
// The MAC (twelve hex digits) an IPv6 address's interface id is made from (EUI-64,
// "...:xxff:fexx:xxxx"), or "" when it is not made from one.
std::string EmbeddedMac(std::string_view ipv6);

// Offsets where name stands as a word of its own, ASCII case ignored: no letter, digit,
// '-' or '_' on either side, and not a later label of a dotted name ("www.NAME.com").
std::vector<size_t> FindNameWords(std::string_view text, const std::vector<bool>& starts,
                                  std::string_view name);
