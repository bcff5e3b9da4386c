// Fetching one RDAP answer over HTTP(S) within the web check's bounds.
#pragma once

#include <string>

#include "net/http_client.h"
#include "platform/mb_string.h"
#include "probes/rdap_text.h"

class CStopSignal;

// An RDAP query's outcome: the record, or the reason (one GBK line, CR LF) it failed.
struct CRdapFetch {
    bool ok = false;
    bool notFound = false;
    CRdapRecord record;
    CString failure;
};

// GET of url; the answer is read up to limits.maxBodyBytes.
CRdapFetch FetchRdapRecord(const CString& url, CStopSignal* stop, const CHttpLimits& limits);

// GET of a related link an RDAP answer gave: one that MayFollowRdapLink refuses is not
// asked, and the exchange reaches only public addresses over https (publicHttpsOnly).
// localPeersAllowed lifts both rules, for tests whose peers are on loopback.
CRdapFetch FetchRelatedRdapRecord(const CString& url, CStopSignal* stop, CHttpLimits limits,
                                  bool localPeersAllowed);

// The address of the domain's record at an RDAP service whose base address ends in "/".
CString RdapDomainUrl(const CString& base, const CString& asciiDomain);
