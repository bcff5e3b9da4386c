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

enum class ERdapParse { kOk, kNotJson, kNotDomain };

// kNotDomain for valid JSON that is no domain object.
ERdapParse ParseRdapDomain(const std::string& json, CRdapRecord* record);

// Fields the registrar's answer lacks are taken from the registry's.
void FillRdapGaps(CRdapRecord* registrar, const CRdapRecord& registry);

// The report lines (GBK, CR LF): the source line naming url, then one line per field
// present. Control characters from the answer become spaces.
CString RdapRecordLines(const CRdapRecord& record, const CString& url);
