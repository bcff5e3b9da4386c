// Reading an RDAP domain answer (JSON, UTF-8) and the report lines made from it.
#pragma once

#include <string>
#include <vector>

#include "platform/mb_string.h"

// What step 1 reports of a domain, as UTF-8 taken from the answer; empty when absent.
struct CRdapRecord {
    std::string domain;
    std::string registrar;
    std::string registered;
    std::string expires;
    std::string changed;
    std::vector<std::string> status;
    std::vector<std::string> nameservers;
    std::string abuseEmail;
    std::string abusePhone;
    // The "related" RDAP address of the same domain at the registrar.
    std::string relatedUrl;
};

enum class ERdapParse { kOk, kNotJson, kNotDomain, kTooComplex };

// What an answer may hold before it is refused unread (kTooComplex): real answers nest
// some ten deep and hold a few thousand values. Within these the parsed answer stays
// under a few MiB whatever its bytes.
const int kRdapMaxJsonDepth = 32;
const long kRdapMaxJsonValues = 50000;
// A link longer than this is no address of a domain's record.
const size_t kRdapMaxLinkBytes = 2048;

// kNotDomain for valid JSON that is no domain object.
ERdapParse ParseRdapDomain(const std::string& json, CRdapRecord* record);

// Fields the registrar's answer lacks are taken from the registry's.
void FillRdapGaps(CRdapRecord* registrar, const CRdapRecord& registry);

// True for a related link the lookup may follow: https, printable ASCII, within the
// length limit. Plain http only where the caller allows it (tests on loopback).
bool MayFollowRdapLink(const std::string& url, bool plainHttpAllowed);

// The report lines (GBK, CR LF): the source line naming url, then one line per field
// present. Control characters from the answer become spaces, and those of url are
// escaped (PeerUrlText).
CString RdapRecordLines(const CRdapRecord& record, const CString& url);
