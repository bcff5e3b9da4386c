// Step 1's second way: when the whois servers give no answer, the registration data
// comes from the registry's RDAP service and, through its "related" link, once from
// the registrar's.
#include <algorithm>
#include <cctype>
#include <string>

#include "probes/whois_lookup.h"
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

CStepOutcome LookupRdapInstead(const CProbeContext& context, const CString& domain,
                               const CString& whoisFailure) {
    const CStepOutcome failed{false, whoisFailure};
    CString name;
    const CString ascii = LowerAscii(HostNameToAscii(domain));
    if (IsStopRaised(context.stop) || ascii.IsEmpty() || !LastTwoLabels(ascii, &name)) return failed;
    // Without a service for the domain nothing was asked, and the whois reason stands alone.
    const CString base = RdapBase(context.endpoints.rdapRows, name.Mid(name.ReverseFind('.') + 1));
    if (base.IsEmpty()) return failed;
    CHttpLimits limits = context.endpoints.httpLimits;
    limits.maxBodyBytes = context.endpoints.whoisLimits.answerCapBytes;
    const CString url = RdapDomainUrl(base, name);
    const CRdapFetch registry = FetchRdapRecord(url, context.stop, limits);
    if (!registry.ok) return {false, whoisFailure + registry.failure};
    const CString related(registry.record.relatedUrl);
    CRdapFetch registrar;
    if (!related.IsEmpty() && related != url && !IsStopRaised(context.stop)) {
        registrar = FetchRelatedRdapRecord(related, context.stop, limits,
                                           context.endpoints.rdapLocalLinksAllowed);
    }
    if (registrar.ok) {
        FillRdapGaps(&registrar.record, registry.record);
        return {true, RdapRecordLines(registrar.record, related)};
    }
    CString lines = RdapRecordLines(registry.record, url);
    if (!registrar.failure.IsEmpty()) {
        lines += "（未能取得注册商的RDAP信息：" + WithoutLineEnd(registrar.failure) + "）\r\n";
    }
    return {true, lines};
}
