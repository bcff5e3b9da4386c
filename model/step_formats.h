// Readers of the step bodies, by the formats of the programs that print them: the Linux
// stand-ins and Windows' own ipconfig, ping and tracert in English and Chinese wording
// (GBK bytes), psping, the whois and RDAP records, and the program's own step texts.
// Each returns what it found; a body it does not recognise gives an empty result, never
// a guess.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// "Sent = 4, Received = 0" (ping, psping) or "已发送 = 4，已接收 = 0" (Chinese ping).
struct CEchoStats {
    bool found = false;  // the statistics line was there
    int sent = 0;
    int received = 0;
    double averageMs = -1;  // -1: no average line
};
CEchoStats ReadEchoStats(std::string_view body);

// ping / psping / tracert say the name does not resolve.
bool SaysHostNotFound(std::string_view body);

struct CTraceHop {
    int number = 0;
    std::string address;  // empty: no probe answered
    int answered = 0;     // probes with a time
    std::vector<double> timesMs;  // one per probe, -1 for "*"
};
struct CTrace {
    std::string target;  // the address traced to, when the first lines name it
    std::vector<CTraceHop> hops;
};
CTrace ReadTrace(std::string_view body);

// One hop of the path statistics table; loss is -1 for a line that does not parse.
struct CPathHop {
    int number = 0;
    std::string address;  // "???" for a hop that never answered
    double lossPercent = -1;
    double averageMs = -1;  // -1 without answers
    std::string label;
    int sent = 0;
    double lastMs = -1, bestMs = -1, worstMs = -1, deviationMs = -1;
    bool sameTtl = false;  // a further address of the TTL above (a balanced route)
};
std::vector<CPathHop> ReadPathTable(std::string_view body);

struct CDate {
    int year = 0, month = 0, day = 0;
    bool Valid() const { return year > 0; }
};
// Days from a to b (negative when b is earlier).
long DaysBetween(const CDate& a, const CDate& b);
// "2026-12- 7 20: 5: 3", as step headers stamp it.
CDate ReadHeaderDate(std::string_view time);
// The registration's end in a whois record ("Registry Expiry Date:", "Expiration Time:",
// "paid-till:", ...) or the RDAP lines ("到期日期："); invalid when none.
CDate ReadExpiryDate(std::string_view body);
// "clientHold" or "serverHold" in the record's status lines, as it is written there.
std::string ReadHoldStatus(std::string_view body);

// Step 9: the status line when the site answered with something other than 200
// ("HTTP/1.1 503 Service Unavailable"), and its code; code 0 when not that case.
struct CSiteStatus {
    int code = 0;
    std::string statusLine;
};
CSiteStatus ReadSiteStatus(std::string_view body);

// Lines of the form "  A 198.18.0.5（TTL 60）" in the DNS step: every address.
std::vector<std::string> ReadDnsAddresses(std::string_view body);

// "证书将于N天后过期": N, or -1.
int ReadCertDaysLeft(std::string_view body);
// "本机时间与服务器相差N秒": N, or -1.
long ReadClockSkewSeconds(std::string_view body);

// The text after key up to the end of its line (key itself excluded), or empty.
std::string_view ValueAfter(std::string_view body, std::string_view key);
// True for a dotted IPv4 address or an IPv6 address.
bool LooksLikeAddress(std::string_view text);
// 198.18.0.0/15, the fake-IP range of proxy software.
bool IsFakeIpAddress(std::string_view address);
// Private, loopback, link-local, shared or unspecified IPv4, or IPv6 ULA/link-local/loopback.
bool IsPrivateAddress(std::string_view address);
