// The registration: expiry and hold status in the whois or RDAP record.
#include <cstdio>

#include "diagnosis/finding_rules.h"
#include "diagnosis/thresholds.h"
#include "model/step_formats.h"
#include "model/text_scan.h"

namespace {

std::string DateText(const CDate& date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

// serverHold before clientHold, in the order the record lists its statuses.
std::string HoldStatus(const std::vector<std::string>& statuses) {
    for (const std::string& status : statuses) {
        std::string lowered = LowerAscii(status);
        if (lowered.find("serverhold") != std::string::npos ||
            lowered.find("server hold") != std::string::npos)
            return "serverHold";
        if (lowered.find("clienthold") != std::string::npos ||
            lowered.find("client hold") != std::string::npos)
            return "clientHold";
    }
    return std::string();
}

}  // namespace

void AddDomainFindings(CFindingList* list) {
    const CStepRecord* whois = list->Report().Find(EReportStep::kWhois);
    if (!whois) return;
    const std::string hold = HoldStatus(whois->whois.statuses);
    if (!hold.empty()) {
        list->Add(
            "domain-on-hold", ESeverity::kCritical, *whois,
            "域名处于%"
            "s状态：注册局已把它从DNS中撤下，在解除之前任何人都解析不到它（请联系域名注册商）。",
            {hold});
    }
    const CDate expiry = ReadHeaderDate(whois->whois.expiry);
    // The report's own date, so a report read a year later is judged as of its run.
    const CDate reported = ReadHeaderDate(whois->ended);
    if (!expiry.Valid() || !reported.Valid()) return;
    const long days = DaysBetween(reported, expiry);
    if (days < 0) {
        list->Add("domain-expired", ESeverity::kCritical, *whois,
                  "域名注册已于%s到期（报告日期%s），需要续费。",
                  {DateText(expiry), DateText(reported)});
    } else if (days <= diagnosis_limits::kDomainExpiringDays) {
        list->Add("domain-expiring", ESeverity::kWarning, *whois,
                  "域名注册将于%s到期，距检测时只剩%s天，请及时续费。",
                  {DateText(expiry), std::to_string(days)});
    }
}
