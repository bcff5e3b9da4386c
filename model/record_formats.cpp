// The whois and RDAP records, the website step's status, and the optional steps' texts.
#include <cstdlib>

#include "model/address_kind.h"
#include "model/address_placeholder.h"
#include "model/step_formats.h"
#include "model/text_scan.h"

namespace {

const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                               "jul", "aug", "sep", "oct", "nov", "dec"};

// "2027-03-01T...", "2027.03.01", "2027/03/01" or "01-Mar-2027" at the start of text.
CDate ReadDateValue(std::string_view text) {
    text = TrimBlanks(text);
    CDate date;
    int year = 0, month = 0, day = 0;
    size_t used = 0, more = 0, last = 0;
    if (ReadDigits(text, &year, &used) && used == 4 && used + 1 < text.size() &&
        ReadDigits(text.substr(used + 1), &month, &more) && more <= 2 &&
        used + 2 + more < text.size() &&
        ReadDigits(TrimBlanks(text.substr(used + 2 + more)), &day, &last) && last <= 2) {
        date = {year, month, day};
    } else if (text.size() >= 11 && ReadDigits(text, &day, &used) && used == 2 && text[2] == '-') {
        const std::string month3 = LowerAscii(text.substr(3, 3));
        for (int m = 0; m < 12; ++m)
            if (month3 == kMonths[m]) date.month = m + 1;
        if (date.month && text[6] == '-' && ReadDigits(text.substr(7), &year, &used) && used == 4)
            date = {year, date.month, day};
    }
    const bool sane = date.year >= 1985 && date.year <= 9999 && date.month >= 1 &&
                      date.month <= 12 && date.day >= 1 && date.day <= 31;
    return sane ? date : CDate();
}

long DaysFromCivil(const CDate& d) {
    const int y = d.year - (d.month <= 2);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097L + doe;
}

}  // namespace

long DaysBetween(const CDate& a, const CDate& b) { return DaysFromCivil(b) - DaysFromCivil(a); }

// Header fields are padded with blanks ("2026- 3- 7"), never zeros.
CDate ReadHeaderDate(std::string_view time) {
    std::string padded(time.substr(0, 10));
    for (char& ch : padded)
        if (ch == ' ') ch = '0';
    return ReadDateValue(padded);
}

CDate ReadExpiryDate(std::string_view body) {
    static const char* const kKeys[] = {
        "expiry date:", "expiration date:", "expiration time:", "expires on:", "expires:",
        "expire:",      "paid-till:",       "expire date:",     "到期日期："};
    for (std::string_view line : SplitLines(body)) {
        const std::string lowered = LowerAscii(line);
        for (const char* key : kKeys) {
            const size_t at = lowered.find(key);
            if (at == std::string::npos) continue;
            const CDate date = ReadDateValue(line.substr(at + std::string_view(key).size()));
            if (date.Valid()) return date;
        }
    }
    return CDate();
}

std::string ReadHoldStatus(std::string_view body) {
    for (std::string_view line : SplitLines(body)) {
        const std::string lowered = LowerAscii(line);
        if (lowered.find("status") == std::string::npos &&
            line.find("状态") == std::string_view::npos)
            continue;
        if (lowered.find("serverhold") != std::string::npos ||
            lowered.find("server hold") != std::string::npos)
            return "serverHold";
        if (lowered.find("clienthold") != std::string::npos ||
            lowered.find("client hold") != std::string::npos)
            return "clientHold";
    }
    return std::string();
}

CSiteStatus ReadSiteStatus(std::string_view body) {
    CSiteStatus status;
    const std::string_view lead = "网站返回的状态不是200：\r\n";
    if (body.compare(0, lead.size(), lead) != 0) return status;
    const std::vector<std::string_view> lines = SplitLines(body.substr(lead.size()));
    if (lines.empty() || lines[0].compare(0, 5, "HTTP/") != 0) return status;
    const std::vector<std::string_view> words = SplitWords(lines[0]);
    double code = 0;
    size_t used = 0;
    if (words.size() < 2 || !ReadNumber(words[1], &code, &used) || used != 3) return status;
    status.code = static_cast<int>(code);
    status.statusLine = std::string(lines[0]);
    return status;
}

std::vector<std::string> ReadDnsAddresses(std::string_view body) {
    std::vector<std::string> addresses;
    for (std::string_view line : SplitLines(body)) {
        const std::vector<std::string_view> words = SplitWords(line);
        if (words.size() < 2 || (words[0] != "A" && words[0] != "AAAA")) continue;
        const std::string_view value = words[1].substr(0, words[1].find("（"));
        if (LooksLikeAddress(value)) addresses.emplace_back(value);
    }
    return addresses;
}

std::string_view ValueAfter(std::string_view body, std::string_view key) {
    const size_t at = body.find(key);
    if (at == std::string_view::npos) return std::string_view();
    const std::string_view rest = body.substr(at + key.size());
    return rest.substr(0, rest.find_first_of("\r\n"));
}

int ReadCertDaysLeft(std::string_view body) {
    double days = 0;
    const size_t at = body.find("证书将于");
    if (at == std::string_view::npos || !ReadNumber(body.substr(at + 8), &days)) return -1;
    return static_cast<int>(days);
}

long ReadClockSkewSeconds(std::string_view body) {
    const std::string_view key = "本机时间与服务器相差";
    const size_t at = body.find(key);
    if (at == std::string_view::npos) return -1;
    std::string_view rest = body.substr(at + key.size());
    if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) rest.remove_prefix(1);
    double seconds = 0;
    return ReadNumber(rest, &seconds) ? static_cast<long>(seconds) : -1;
}

bool LooksLikeAddress(std::string_view text) {
    return ClassifyAddress(text) != EAddressKind::kInvalid || IsAddressPlaceholder(text);
}

bool IsFakeIpAddress(std::string_view address) {
    return ParseIpv4(address) && ClassifyAddress(address) == EAddressKind::kBenchmark;
}

bool IsPrivateAddress(std::string_view address) {
    // A redacted report names the user's own network by placeholder words.
    if (IsAddressPlaceholder(address)) return true;
    const EAddressKind kind = ClassifyAddress(address);
    return IsLocalNetworkKind(kind) || kind == EAddressKind::kUnspecified;
}
