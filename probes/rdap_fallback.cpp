// Step 1's second way: when the whois servers give no answer, the registration data
// comes from the registry's RDAP service and, through its "related" link, once from
// the registrar's.
#include <algorithm>
#include <cctype>
#include <string>

#include "probes/probe_session.h"
#include "platform/host_name.h"
#include "platform/stop_signal.h"
#include "probes/rdap_lookup.h"
#include "probes/whois_text.h"

namespace {

CString LowerAscii(const CString& text) {
    std::string bytes = text.Bytes();
    for (char& ch : bytes) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return CString(bytes);
}

CString RdapBase(const std::vector<std::pair<CString, CString>>& rows, const CString& tld) {
    for (const auto& row : rows) {
        if (row.first == tld) return row.second;
    }
    return CString();
}

CString WithoutLineEnd(CString text) {
    text.TrimRight();
    return text;
}

}  // namespace

int CProbeSession::LookupRdapInstead(const CString& domain) {
    CString name;
    const CString ascii = LowerAscii(HostNameToAscii(domain));
    if (IsStopRaised(m_stop) || ascii.IsEmpty() || !LastTwoLabels(ascii, &name)) return 0;
    // Without a service for the domain nothing was asked, and the whois reason stands alone.
    const CString base = RdapBase(m_endpoints.rdapRows, name.Mid(name.ReverseFind('.') + 1));
    if (base.IsEmpty()) return 0;
    CHttpLimits limits = m_endpoints.httpLimits;
    limits.maxBodyBytes = m_endpoints.whoisLimits.answerCapBytes;
    const CString url = RdapDomainUrl(base, name);
    const CRdapFetch registry = FetchRdapRecord(url, m_stop, limits);
    if (!registry.ok) {
        m_strError += registry.failure;
        return 0;
    }
    const CString related(registry.record.relatedUrl);
    CRdapFetch registrar;
    if (!related.IsEmpty() && related != url && !IsStopRaised(m_stop)) {
        registrar = FetchRelatedRdapRecord(related, m_stop, limits, m_endpoints.rdapLocalLinksAllowed);
    }
    m_strError.Empty();
    if (registrar.ok) {
        FillRdapGaps(&registrar.record, registry.record);
        m_strResult = RdapRecordLines(registrar.record, related);
        return 1;
    }
    m_strResult = RdapRecordLines(registry.record, url);
    if (!registrar.failure.IsEmpty()) {
        m_strResult +=
            "（未能取得注册商的RDAP信息：" + WithoutLineEnd(registrar.failure) + "）\r\n";
    }
    return 1;
}
