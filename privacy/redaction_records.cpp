// See redaction.h: the records redacted with one table of words for the whole report,
// and the line that counts what was hidden.
#include "privacy/personal_data.h"
#include "privacy/placeholders.h"
#include "privacy/redaction.h"
#include "privacy/text_redaction.h"

CReport RedactRecords(const CReport& report, CRedactionCounts* counts) {
    const CPersonalData data = CollectPersonalData(report);
    std::string all;
    for (const CStepRecord& step : report.steps) all += step.text;
    for (const CFinding& finding : report.findings) all += finding.text;
    CPlaceholders words(all);

    CReport redacted = report;
    for (CStepRecord& step : redacted.steps) step.text = RedactText(step.text, data, &words);
    *counts = words.Counts();
    // The findings quote hops and servers as the steps do, so they take the same words.
    for (CFinding& finding : redacted.findings)
        finding.text = RedactText(finding.text, data, &words);
    return redacted;
}

std::string RedactionCountsLine(const CRedactionCounts& counts) {
    const struct {
        int count;
        const char* what;
        const char* unit;
    } kinds[] = {
        {counts.macs, "MAC地址", "个"},
        {counts.ownAddresses, "本机地址", "个"},
        {counts.lanAddresses, "局域网地址", "个"},
        {counts.hostNames, "计算机名", "处"},
        {counts.userNames, "用户名", "处"},
    };
    std::string line = "已隐藏：";
    bool any = false;
    for (const auto& kind : kinds) {
        if (kind.count == 0) continue;
        if (any) line += "、";
        line += kind.what + std::to_string(kind.count) + kind.unit;
        any = true;
    }
    return any ? line : line + "无";
}
