#include "platform/local_settings.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kProxyVariables[] = {"http_proxy", "https_proxy", "all_proxy", "no_proxy"};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return text;
}

}  // namespace

CString HideProxyPassword(const CString& value) {
    const std::string& text = value.Bytes();
    const size_t scheme = text.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t at = text.find('@', start);
    if (at == std::string::npos) return value;
    // Only the first part, before any path, holds credentials.
    const size_t slash = text.find('/', start);
    if (slash != std::string::npos && slash < at) return value;
    const size_t colon = text.find(':', start);
    if (colon == std::string::npos || colon > at) return value;
    return CString(text.substr(0, colon + 1) + "***" + text.substr(at));
}

std::vector<CProxySetting> ProxyFromEnvironment(const std::vector<std::string>& environment) {
    std::vector<CProxySetting> settings;
    for (const char* variable : kProxyVariables) {
        for (const std::string& name : {std::string(variable), Upper(variable)}) {
            for (const std::string& entry : environment) {
                if (entry.size() <= name.size() + 1 || entry.compare(0, name.size(), name) != 0 ||
                    entry[name.size()] != '=')
                    continue;
                settings.push_back(
                    {CString(name), HideProxyPassword(CString(entry.substr(name.size() + 1)))});
                break;
            }
        }
    }
    return settings;
}
