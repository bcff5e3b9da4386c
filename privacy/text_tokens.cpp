// See text_tokens.h.
#include "privacy/text_tokens.h"

#include "model/address_kind.h"

namespace {

bool IsHexDigit(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}
bool IsAsciiAlnum(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsNameChar(char ch) { return IsAsciiAlnum(ch) || ch == '-' || ch == '_'; }
bool InRun(char ch) { return IsHexDigit(ch) || ch == ':' || ch == '.' || ch == '-'; }
char Lower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

std::string LowerHex(std::string_view text) {
    std::string out;
    for (char ch : text)
        if (IsHexDigit(ch)) out += Lower(ch);
    return out;
}

// The ASCII character before offset at, or '\0' at the start or after a Chinese one.
char CharBefore(std::string_view text, const std::vector<bool>& starts, size_t at) {
    if (at == 0) return '\0';
    if (!starts[at - 1]) return '\0';
    return static_cast<unsigned char>(text[at - 1]) >= 0x80 ? '\0' : text[at - 1];
}
char CharAt(std::string_view text, size_t at) {
    return at < text.size() && static_cast<unsigned char>(text[at]) < 0x80 ? text[at] : '\0';
}

// Groups of `width` hex digits joined by one separator throughout; their count, or 0.
int GroupCount(std::string_view run, char separator, size_t width) {
    int groups = 0;
    size_t at = 0;
    while (true) {
        if (run.size() < at + width) return 0;
        for (size_t i = 0; i < width; ++i)
            if (!IsHexDigit(run[at + i])) return 0;
        ++groups;
        at += width;
        if (at == run.size()) return groups;
        if (run[at] != separator) return 0;
        ++at;
    }
}

// A run that is a hardware address or id, as a token; false when it is none.
bool ReadHardwareRun(std::string_view run, CTextToken* token) {
    for (char separator : {'-', ':'}) {
        const int groups = GroupCount(run, separator, 2);
        if (groups == 6)
            token->kind = ETokenKind::kMac;
        else if (groups >= 7 && separator == '-')
            token->kind = ETokenKind::kDeviceId;
        else
            continue;
        token->value = LowerHex(run);
        return true;
    }
    if (GroupCount(run, '.', 4) == 3 || GroupCount(run, '.', 12) == 1) {
        token->kind = run.size() == 12 ? ETokenKind::kBareHex : ETokenKind::kMac;
        token->value = LowerHex(run);
        return true;
    }
    return false;
}

void AddToken(std::vector<CTextToken>* tokens, size_t at, std::string_view text, ETokenKind kind) {
    CTextToken token;
    token.at = at;
    token.size = text.size();
    token.kind = kind;
    for (char ch : text) token.value += Lower(ch);
    tokens->push_back(token);
}

// The addresses in a run that is no hardware address: the whole run as IPv6, or else
// the IPv4 pieces between its colons and dashes ("192.168.1.1:8080").
void ReadAddressRun(std::string_view run, size_t at, std::vector<CTextToken>* tokens) {
    while (!run.empty() && (run.back() == '.' || run.back() == ':' || run.back() == '-'))
        run.remove_suffix(1);
    uint8_t bytes[16];
    if (run.find(':') != std::string_view::npos && ParseIpv6Bytes(run, bytes)) {
        AddToken(tokens, at, run, ETokenKind::kIpv6);
        return;
    }
    size_t start = 0;
    while (start < run.size()) {
        size_t end = run.find_first_of(":-", start);
        if (end == std::string_view::npos) end = run.size();
        std::string_view piece = run.substr(start, end - start);
        while (!piece.empty() && piece.back() == '.') piece.remove_suffix(1);
        if (ParseIpv4(piece)) AddToken(tokens, at + start, piece, ETokenKind::kIpv4);
        start = end + 1;
    }
}

}  // namespace

std::vector<bool> CharStarts(std::string_view text) {
    std::vector<bool> starts(text.size() + 1, true);
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x81) starts[++i] = false;
    }
    return starts;
}

std::vector<CTextToken> FindTokens(std::string_view text, const std::vector<bool>& starts) {
    std::vector<CTextToken> tokens;
    size_t i = 0;
    while (i < text.size()) {
        if (!starts[i] || !InRun(CharAt(text, i))) {
            ++i;
            continue;
        }
        size_t end = i;
        while (InRun(CharAt(text, end))) ++end;
        size_t begin = i;
        // "Address:fe80::1": a colon glued to a word is that word's, not the address's.
        if (IsAsciiAlnum(CharBefore(text, starts, begin)) && text[begin] == ':') ++begin;
        const bool bounded =
            !IsAsciiAlnum(CharBefore(text, starts, begin)) && !IsAsciiAlnum(CharAt(text, end));
        if (bounded && begin < end) {
            const std::string_view run = text.substr(begin, end - begin);
            CTextToken token;
            if (ReadHardwareRun(run, &token)) {
                token.at = begin;
                token.size = run.size();
                tokens.push_back(token);
            } else {
                ReadAddressRun(run, begin, &tokens);
            }
        }
        i = end;
    }
    return tokens;
}

std::vector<size_t> FindNameWords(std::string_view text, const std::vector<bool>& starts,
                                  std::string_view name) {
    std::vector<size_t> found;
    if (name.empty()) return found;
    for (size_t at = 0; at + name.size() <= text.size(); ++at) {
        if (!starts[at] || !starts[at + name.size()]) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = Lower(text[at + i]) == Lower(name[i]);
        if (!same) continue;
        const char before = CharBefore(text, starts, at);
        const char after = CharAt(text, at + name.size());
        if (IsNameChar(before) || before == '.' || IsNameChar(after)) continue;
        found.push_back(at);
        at += name.size() - 1;
    }
    return found;
}
