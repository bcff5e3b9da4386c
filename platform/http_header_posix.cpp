#include "platform/http_header_posix.h"

#include <strings.h>

#include <cstdlib>
#include <ctime>

namespace {

// The three digits of a status code, as a number; 0 when they are not there.
int StatusCodeAt(const std::string& line, size_t at) {
    int code = 0;
    for (size_t i = at; i < at + 3; ++i) {
        if (i >= line.size() || line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return at + 3 == line.size() || line[at + 3] == ' ' ? code : 0;
}

}  // namespace

bool CHeaderBlock::Take(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
        block.clear();
        statusLine = line;
        redirects = false;
        complete = false;  // a new response's block, not yet ended
        const size_t space = line.find(' ');
        status = space == std::string::npos ? 0 : StatusCodeAt(line, space + 1);
    } else if (line.empty()) {
        complete = status >= 200 && !redirects;
    } else if (status >= 300 && status < 400 && line.size() > 9 &&
               strncasecmp(line.c_str(), "location:", 9) == 0) {
        redirects = true;
    }
    if (block.size() + line.size() + 2 > limit) {
        tooLong = true;
        return false;
    }
    block += line + "\r\n";
    return true;
}

long long ParseCertificateDate(const std::string& text) {
    tm fields{};
    const char* end = strptime(text.c_str(), "%b %d %H:%M:%S %Y", &fields);
    if (!end) return 0;
    return static_cast<long long>(timegm(&fields));
}

std::vector<CString> DnsNamesOf(const std::string& list) {
    std::vector<CString> names;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        std::string item = list.substr(start, end - start);
        while (!item.empty() && item.front() == ' ') item.erase(0, 1);
        if (item.compare(0, 4, "DNS:") == 0) names.push_back(CString(item.substr(4)));
        start = end + 1;
    }
    return names;
}

CString CommonNameOf(const std::string& subject) {
    const size_t at = subject.rfind("CN = ");
    if (at == std::string::npos) return CString();
    const size_t end = subject.find(',', at);
    return CString(
        subject.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5));
}
