// See redaction.h. The report is redacted text by text with one table of words for the
// whole report, then written out and read back: what is handed on is exactly what a
// reader of the saved file will see, facts included, or nothing at all.
#include "privacy/redaction.h"

#include "model/report_text.h"
#include "privacy/personal_data.h"
#include "privacy/text_redaction.h"

namespace {

std::string Refusal(const CReport& report) {
    std::string reason = "这不是一份能读懂的检测报告，没有隐藏个人信息";
    if (!report.notes.empty()) reason += "：" + report.notes.front();
    return reason;
}

}  // namespace

bool RedactReport(const CReport& report, CRedactedReport* out, std::string* error) {
    if (!report.isReport) {
        *error = Refusal(report);
        return false;
    }
    CRedactionCounts counts;
    const CReport redacted = RedactRecords(report, &counts);
    std::string text = RenderReportText(redacted);
    CReport reread = ReadReportText(text);
    if (!reread.isReport || reread.steps.size() != report.steps.size()) {
        *error = "隐藏个人信息后的报告无法读回，没有保存任何内容";
        return false;
    }
    if (StillHoldsPersonalData(text, CollectPersonalData(report))) {
        *error = "报告中仍有未能隐藏的个人信息，没有保存任何内容";
        return false;
    }
    reread.version = report.version;
    reread.domain = report.domain;
    reread.findings = redacted.findings;
    out->report = std::move(reread);
    out->text = std::move(text);
    out->counts = counts;
    return true;
}

bool RedactReportText(std::string_view bytes, CRedactedReport* out, std::string* error) {
    return RedactReport(ReadReportText(bytes), out, error);
}
