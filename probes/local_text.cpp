#include "probes/local_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

bool NamesOneOf(const std::string& line, const std::vector<std::string>& wanted) {
    std::istringstream fields(line.substr(0, line.find('#')));
    std::string field;
    if (!(fields >> field)) return false;  // the address
    while (fields >> field)
        if (std::find(wanted.begin(), wanted.end(), Lowered(field)) != wanted.end()) return true;
    return false;
}

int MonthIndex(const char* name) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (std::strcmp(name, kMonths[i]) == 0) return i + 1;
    return 0;
}

// Days from 1970-01-01 to the date (proleptic Gregorian).
long long DaysFromCivil(long long year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yoe = year - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool Assemble(int year, const char* month, int day, int hour, int minute, int second,
              long long* unixTime) {
    const int monthIndex = MonthIndex(month);
    if (monthIndex == 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 ||
        hour < 0 || minute < 0 || second < 0 || year < 1970 || year > 9999)
        return false;
    *unixTime = DaysFromCivil(year, monthIndex, day) * 86400LL + hour * 3600 + minute * 60 + second;
    return true;
}

}  // namespace

std::vector<CString> HostsLinesNaming(const std::string& content,
                                      const std::vector<CString>& names) {
    std::vector<std::string> wanted;
    for (const CString& name : names) wanted.push_back(Lowered(name.Bytes()));
    std::vector<CString> lines;
    std::istringstream in(content);
    std::string line;
    while (lines.size() < kMaxHostsLines && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (NamesOneOf(line, wanted)) lines.emplace_back(line);
    }
    return lines;
}

bool ParseHttpDate(const std::string& text, long long* unixTime) {
    char weekday[16] = {};
    char month[4] = {};
    char zone[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, used = 0;
    if (std::sscanf(text.c_str(), "%3s, %2d %3s %4d %2d:%2d:%2d %3s%n", weekday, &day, month, &year,
                    &hour, &minute, &second, zone, &used) == 8 &&
        static_cast<size_t>(used) == text.size() && std::strcmp(zone, "GMT") == 0)
        return Assemble(year, month, day, hour, minute, second, unixTime);
    if (std::sscanf(text.c_str(), "%15[A-Za-z], %2d-%3s-%2d %2d:%2d:%2d %3s%n", weekday, &day,
                    month, &year, &hour, &minute, &second, zone, &used) == 8 &&
        static_cast<size_t>(used) == text.size() && std::strcmp(zone, "GMT") == 0)
        return Assemble(year + (year < 70 ? 2000 : 1900), month, day, hour, minute, second,
                        unixTime);
    if (std::sscanf(text.c_str(), "%3s %3s %2d %2d:%2d:%2d %4d%n", weekday, month, &day, &hour,
                    &minute, &second, &year, &used) == 7 &&
        static_cast<size_t>(used) == text.size())
        return Assemble(year, month, day, hour, minute, second, unixTime);
    return false;
}

bool DateHeaderOf(const std::string& headers, std::string* value) {
    std::istringstream in(headers);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() < 5 || Lowered(line.substr(0, 5)) != "date:") continue;
        const size_t start = line.find_first_not_of(" \t", 5);
        *value = start == std::string::npos ? std::string() : line.substr(start);
        while (!value->empty() && (value->back() == ' ' || value->back() == '\t'))
            value->pop_back();
        return true;
    }
    return false;
}
