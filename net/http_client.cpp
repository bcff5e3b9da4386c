#include "net/http_client.h"

#include <algorithm>
#include <cstring>

#include "net/http_backend.h"
#include "net/public_address.h"

bool CHttpPage::Open(const CString& url, const CString& accept) {
    if (!IsPlainPageAddress(url) || !IsPlainMediaType(accept)) {
        m_outcome = {EHttpFailure::kInvalidAddress, 0, url, {}};
        m_ended = true;
        return false;
    }
    return OpenChecked(url, accept);
}

bool CHttpPage::ReadLine(CString* line) {
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            *line = CString(m_pending.data(), static_cast<int>(end));
            m_pending.erase(0, end + 1);
            return true;
        }
        if (m_ended) {
            if (m_pending.empty()) return false;
            *line = CString(m_pending);
            m_pending.clear();
            return true;
        }
        char buffer[4096];
        const int room = std::min(static_cast<int>(sizeof buffer), m_maxBody - m_bodyRead);
        const int got = room > 0 ? ReadSome(buffer, room) : 0;
        if (got <= 0) {
            m_ended = true;
        } else {
            m_pending.append(buffer, static_cast<size_t>(got));
            m_bodyRead += got;
        }
    }
}

namespace {

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

bool CertificateNameMatches(const CString& pattern, const CString& host) {
    std::string name = pattern.Bytes();
    std::string wanted = host.Bytes();
    // A fully qualified name's final dot names the same host.
    if (!wanted.empty() && wanted.back() == '.') wanted.pop_back();
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (name.empty() || wanted.empty()) return false;
    if (name.compare(0, 2, "*.") != 0) return EqualIgnoringCase(name, wanted);
    // The wildcard takes one whole label, and never stands for most of a name.
    const size_t firstDot = wanted.find('.');
    if (firstDot == std::string::npos || firstDot == 0) return false;
    const std::string rest = name.substr(1);
    if (rest.find('.', 1) == std::string::npos) return false;
    return EqualIgnoringCase(rest, wanted.substr(firstDot));
}

bool IsPlainHostName(const CString& host) {
    if (host.IsEmpty()) return false;
    for (const char ch : host.Bytes()) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte <= 0x20 || byte == 0x7F || std::strchr("/?#@[]\\:%", ch)) return false;
    }
    return true;
}

bool IsPlainPageAddress(const CString& url) {
    const std::string text = url.Bytes();
    size_t hostStart = 0;
    if (text.compare(0, 8, "https://") == 0) {
        hostStart = 8;
    } else if (text.compare(0, 7, "http://") == 0) {
        hostStart = 7;
    } else {
        return false;
    }
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    const size_t end = text.find_first_of("/?#", hostStart);
    const std::string authority = text.substr(hostStart, end == std::string::npos ? end : end - hostStart);
    return !authority.empty() && authority[0] != ':' && authority.find('@') == std::string::npos;
}

bool IsPlainMediaType(const CString& accept) {
    for (const char ch : accept.Bytes()) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte >= 0x7F) return false;
    }
    return true;
}

const CHttpRules& HttpRules() {
    static const CHttpRules rules = [] {
        CHttpRules made;
        made.maxRedirects = 10;
        made.isPublicIpv4 = &IsPublicIpv4;
        made.isPublicIpv6 = &IsPublicIpv6;
        made.isPublicAddressText = &IsPublicAddressText;
        made.hostOfUrl = &HostOfUrl;
        made.certificateNameMatches = &CertificateNameMatches;
        return made;
    }();
    return rules;
}

CString RootUrl(const char* scheme, const CString& host, int port) {
    CString url;
    url.Format("%s://%s:%d/", scheme, host.GetString(), port);
    return url;
}

CHttpHeaderAnswer FetchRootHeaders(const CString& host, int port, CStopSignal* stop,
                                   const CHttpLimits& limits) {
    if (IsPlainHostName(host)) return FetchPlainRootHeaders(host, port, stop, limits);
    CHttpHeaderAnswer refused;
    refused.outcome.failure = EHttpFailure::kInvalidAddress;
    return refused;
}

CHttpsAnswer FetchHttpsRoot(const CString& host, int port, CStopSignal* stop,
                            const CHttpLimits& limits) {
    if (IsPlainHostName(host)) return FetchPlainHttpsRoot(host, port, stop, limits);
    CHttpsAnswer refused;
    refused.response.outcome.failure = EHttpFailure::kInvalidAddress;
    return refused;
}

CHttpLimits SiteTimingLimits(int limitMs) {
    CHttpLimits limits;
    limits.connectMs = limitMs;
    limits.silenceMs = limitMs;
    limits.totalMs = limitMs;
    limits.maxBodyBytes = 256 << 10;
    return limits;
}

CTimedRootAnswer TimeSiteRoot(const char* scheme, const CString& host, int port, bool ipv6,
                              CStopSignal* stop, int limitMs) {
    if (!IsPlainHostName(host)) {
        CTimedRootAnswer refused;
        refused.outcome.failure = EHttpFailure::kInvalidAddress;
        return refused;
    }
    const CTimedRootRequest request{{host, port, RootUrl(scheme, host, port)}, ipv6};
    return TimePlainSiteRoot(request, stop, SiteTimingLimits(limitMs));
}

bool IsPlainPost(const CHttpPost& post) {
    if (!IsPlainPageAddress(post.url)) return false;
    for (const std::string& header : post.headers) {
        const size_t colon = header.find(':');
        if (colon == std::string::npos || colon == 0 || !IsPlainMediaType(CString(header))) return false;
    }
    return true;
}

CHttpPostAnswer SendPost(const CHttpPost& post, CStopSignal* stop, const CHttpLimits& limits) {
    if (IsPlainPost(post)) return SendPlainPost(post, stop, limits);
    CHttpPostAnswer refused;
    refused.outcome.failure = EHttpFailure::kInvalidAddress;
    return refused;
}
