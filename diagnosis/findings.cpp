#include "diagnosis/findings.h"

#include <algorithm>
#include <cstdio>

#include "diagnosis/finding_rules.h"
#include "model/report_text.h"

// "%s" takes the next argument, "%%" is a percent sign; '%' is never a GBK trail byte.
std::string FillIn(std::string_view format, std::initializer_list<std::string> args) {
    std::string text;
    const std::string* next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() &&
            (format[i + 1] == 's' || format[i + 1] == '%')) {
            if (format[++i] == '%')
                text += '%';
            else if (next != args.end())
                text += *next++;
        } else {
            text += format[i];
        }
    }
    return text;
}

void CFindingList::Add(const char* id, ESeverity severity, const CStepRecord& record,
                       const char* format, std::initializer_list<std::string> args) {
    if (Has(id)) return;
    m_findings.push_back({id, severity, record.number, FillIn(format, args)});
}

bool CFindingList::Has(const std::string& id) const {
    for (const CFinding& finding : m_findings)
        if (finding.id == id) return true;
    return false;
}

std::string Clip(std::string_view text, size_t maxBytes) {
    text = text.substr(0, text.find_first_of("\r\n"));
    size_t end = 0;
    while (end < text.size()) {
        const size_t width = static_cast<unsigned char>(text[end]) >= 0x81 ? 2 : 1;
        if (end + width > maxBytes || end + width > text.size()) break;
        end += width;
    }
    std::string clipped(text.substr(0, end));
    for (char& ch : clipped)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
    return end < text.size() ? clipped + "..." : clipped;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value == static_cast<long long>(value) ? "%.0f" : "%.1f",
                  value);
    return text;
}

const char* SeverityWord(ESeverity severity) {
    switch (severity) {
        case ESeverity::kCritical:
            return "严重";
        case ESeverity::kWarning:
            return "警告";
        case ESeverity::kInfo:
            break;
    }
    return "提示";
}

const char* SeverityName(ESeverity severity) {
    switch (severity) {
        case ESeverity::kCritical:
            return "critical";
        case ESeverity::kWarning:
            return "warning";
        case ESeverity::kInfo:
            break;
    }
    return "info";
}

CAnalysis AnalyzeRecords(const CReport& report) {
    CAnalysis analysis;
    analysis.isReport = report.isReport;
    analysis.notes = report.notes;
    if (!report.isReport) return analysis;
    CFindingList list(report);
    AddSiteFindings(&list);
    AddDomainFindings(&list);
    AddPathFindings(&list);
    AddDnsFindings(&list);
    AddEnvironmentFindings(&list);
    analysis.findings = list.Take();
    std::stable_sort(analysis.findings.begin(), analysis.findings.end(),
                     [](const CFinding& a, const CFinding& b) {
                         return a.severity != b.severity ? a.severity < b.severity
                                                         : a.step < b.step;
                     });
    const bool serious =
        !analysis.findings.empty() && analysis.findings.front().severity != ESeverity::kInfo;
    // A report cut short may have lost the very block that would have said otherwise.
    const bool whole = report.steps.size() >= 9 && report.steps.back().complete;
    if (!serious && whole) {
        analysis.findings.insert(analysis.findings.begin(),
                                 {"all-clear", ESeverity::kInfo, 0,
                                  "检测没有发现问题：网站能正常访问，各项检查均正常。"});
    }
    return analysis;
}

CAnalysis AnalyzeReport(std::string_view bytes) { return AnalyzeRecords(ReadReportText(bytes)); }

CStepRecord DiagnosisRecord(const CAnalysis& analysis, int step, std::string_view time) {
    CStepRecord record;
    record.number = step;
    record.step = EReportStep::kDiagnosis;
    record.name = kDiagnosisBlockName;
    record.ended = std::string(time);
    record.ok = true;
    for (const CFinding& finding : analysis.findings)
        record.text += std::string("[") + SeverityWord(finding.severity) + "] " + finding.text + "\r\n";
    return record;
}

std::string DiagnosisBlock(const CAnalysis& analysis, int step, std::string_view time) {
    const CStepRecord record = DiagnosisRecord(analysis, step, time);
    return StepHeader(record.number, record.name, record.ended) + record.text + StepSeparator();
}
