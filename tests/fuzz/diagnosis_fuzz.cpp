// libFuzzer target for the findings engine: any bytes, as a whole report and as the body
// of each step reader. Nothing may crash, and a finding always names its id, its
// sentence and a step the report has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "diagnosis/findings.h"
#include "diagnosis/path_loss.h"
#include "model/report_json.h"
#include "model/report_text.h"
#include "model/step_formats.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// In the engine's own encoding of this build, whichever it is.
const char kBanner[] = "======================= 开始检测 =======================\r\n";

void CheckAnalysis(const std::string& bytes) {
    // Whatever the bytes, the records render back to them.
    Require(RenderReportText(ReadReportText(bytes)) == bytes);
    const CAnalysis analysis = AnalyzeReport(bytes);
    if (!analysis.isReport) Require(analysis.findings.empty());
    for (const CFinding& finding : analysis.findings) {
        Require(!finding.id.empty() && !finding.text.empty());
        Require(finding.step >= 0 && finding.step < 10000);
        for (char ch : finding.text) Require(ch != '\r' && ch != '\n');
    }
    const std::string block = DiagnosisBlock(analysis, 13, "2026-12- 7 10: 0: 0");
    Require(block.size() >= 74);
}

// Text passes as it is: the JSON reader's own checks are what is fuzzed.
bool Same(std::string_view from, std::string* to) {
    *to = std::string(from);
    return true;
}
const CTextCodec kSameCodec = {&Same, &Same};

// Any bytes as a JSON report: refused with a reason, or records that render.
void CheckJson(const std::string& bytes) {
    CReport report;
    std::string error;
    if (!ReadReportJson(bytes, kSameCodec, &report, &error)) {
        Require(!error.empty());
        return;
    }
    AnalyzeRecords(report);
    RenderReportText(report);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckAnalysis(text);
    // The same bytes behind a banner, so the grammar's deeper paths are reached.
    CheckAnalysis(kBanner + text);
    CheckJson(text);
    CheckJson("{\"schema\":\"tollvane-report/1\",\"steps\":[" + text);
    ReadEchoStats(text);
    ReadTrace(text);
    ReadPathLoss(ReadPathTable(text));
    ReadExpiryDate(text);
    ReadHoldStatus(text);
    ReadSiteStatus(text);
    ReadDnsAddresses(text);
    return 0;
}
