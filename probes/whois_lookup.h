// Step 1: the domain's registration record, from the whois server of its top-level
// label (following one referral), or through RDAP when the whois servers give none.
#pragma once

#include <cstddef>
#include <map>

#include "platform/mb_string.h"
#include "probes/probe_context.h"

// The whois servers by top-level label, as the endpoints list them.
class CWhoisServerTable {
public:
    explicit CWhoisServerTable(const CProbeEndpoints& endpoints);

    // The server of the label (matched exactly, case included). An absent label is
    // added with an empty server name, which later lookups of it then find.
    CString Find(const CString& label);
    size_t Size() const { return m_servers.size(); }
    bool Holds(const CString& label) const { return m_servers.count(label) != 0; }

private:
    std::map<CString, CString> m_servers;
};

CStepOutcome LookupWhois(const CProbeContext& context, const CString& domain);
// The same, with the table the lookup reads (and adds an absent label to).
CStepOutcome LookupWhois(const CProbeContext& context, const CString& domain,
                         CWhoisServerTable* servers);

// Step 1 through RDAP, once the whois servers gave no answer: the record's lines, or on
// failure whoisFailure followed by the reason RDAP failed too.
CStepOutcome LookupRdapInstead(const CProbeContext& context, const CString& domain,
                               const CString& whoisFailure);
