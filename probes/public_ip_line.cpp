#include "platform/ipv4_parse.h"
#include "probes/peer_text.h"
#include "probes/public_ip.h"

bool IsIPv4Literal(const CString& text) { return ParseClassicIPv4(text.GetString()) != kInvalidIPv4; }

namespace {

// Only the line's first "[" and first "]" count; a "]" before the "[" leaves an
// empty candidate, which is no address.
bool HoldsBracketedAddress(const CString& line) {
    const int open = line.Find('[');
    const int close = line.Find(']');
    if (open < 0 || close < 0) return false;
    return IsIPv4Literal(line.Mid(open + 1, close - open - 1));
}

// The text between the first "<center>" and the first "</center>". An absent marker
// counts as position -1, and the substring clamps what falls outside the line.
CString CenterText(const CString& line) {
    const int start = line.Find("<center>");
    const int end = line.Find("</center>");
    return line.Mid(start + 8, end - start - 8);
}

}  // namespace

bool PublicIpLineText(const CString& line, CString* text) {
    if (!HoldsBracketedAddress(line)) return false;
    *text = PeerLineText(CenterText(line));
    return true;
}
