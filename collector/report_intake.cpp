#include "collector/report_intake.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <string_view>

#include "diagnosis/findings.h"
#include "diagnosis/path_loss.h"
#include "engine/report_files.h"
#include "model/report_json.h"
#include "model/report_text.h"
#include "model/step_formats.h"
#include "probes/ip_labels.h"
#include "render/path_chart.h"

namespace {

std::string ToLowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lowered;
}

// A host name as the desk searches for it: letters, digits, dots and hyphens only,
// lower case. Anything else is not a name this report was run for.
std::string PlainDomain(std::string_view text) {
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty() || text.size() > 253) return std::string();
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-') return std::string();
    return ToLowerAscii(text);
}

// The text of a line up to the first of the stops, or the whole line.
std::string_view UpTo(std::string_view line, std::string_view stops) {
    line = line.substr(0, line.find_first_of("\r\n"));
    return line.substr(0, line.find_first_of(stops));
}

// The domain a run was for, from the first step that names it.
std::string DomainOf(const CReport& report) {
    std::string named = PlainDomain(report.domain);
    if (!named.empty()) return named;
    if (const CStepRecord* path = report.Find(EReportStep::kPathStatistics)) {
        std::string name = PlainDomain(UpTo(ValueAfter(path->text, "路由逐跳统计："), " ["));
        if (!name.empty()) return name;
    }
    if (const CStepRecord* dns = report.Find(EReportStep::kDnsAnswers)) {
        std::string name = PlainDomain(UpTo(dns->text, "："));
        if (!name.empty()) return name;
    }
    const std::pair<EReportStep, const char*> lines[] = {
        {EReportStep::kPing, "Pinging "},
        {EReportStep::kPing, "正在 Ping "},
        {EReportStep::kTracert, "Tracing route to "},
        {EReportStep::kTracert, "通过最多 30 个跃点跟踪\r\n到 "},
        {EReportStep::kWhois, "Domain Name:"},
    };
    for (const auto& [step, key] : lines) {
        const CStepRecord* block = report.Find(step);
        if (!block) continue;
        std::string name = PlainDomain(UpTo(ValueAfter(block->text, key), " ["));
        if (!name.empty()) return name;
    }
    return std::string();
}

// The public address: the step's facts, or "您的IP是：[203.0.113.7] ..." in its text.
std::string PublicAddressOf(const CReport& report) {
    const CStepRecord* step = report.Find(EReportStep::kPublicIp);
    if (!step) return std::string();
    if (LooksLikeAddress(step->publicIp.address)) return step->publicIp.address;
    const std::string_view body = step->text;
    const size_t open = body.find('[');
    const size_t close = open == std::string_view::npos ? open : body.find(']', open);
    if (close == std::string_view::npos) return std::string();
    const std::string_view address = body.substr(open + 1, close - open - 1);
    return LooksLikeAddress(address) ? std::string(address) : std::string();
}

void ReadPath(const CReport& report, CReportIntake* intake) {
    const CStepRecord* step = report.Find(EReportStep::kPathStatistics);
    if (!step) return;
    std::vector<CPathHop> hops;
    for (const CPathRowFacts& row : step->path.ipv4.rows) {
        hops.push_back({row.ttl, row.address, row.lossPercent, row.averageMs, row.label});
        intake->pathRows.push_back(
            {row.ttl, row.address, row.lossPercent, row.averageMs, GbkToUtf8Lossy(row.label)});
    }
    const CPathLossReading loss = ReadPathLoss(hops);
    if (loss.kind != EPathLoss::kPersistent || loss.hop < 0 ||
        loss.hop >= static_cast<int>(hops.size()))
        return;
    intake->lossHopAddress = hops[static_cast<size_t>(loss.hop)].address;
    intake->lossHopLabel = GbkToUtf8Lossy(hops[static_cast<size_t>(loss.hop)].label);
}

std::string JoinedNotes(const std::vector<std::string>& notes) {
    std::string joined;
    for (const std::string& note : notes) joined += (joined.empty() ? "" : " ") + GbkToUtf8Lossy(note);
    return joined.empty() ? std::string("not a Tollvane report") : joined;
}

bool IsMediaType(const std::string& contentType, const char* wanted) {
    const std::string type = ToLowerAscii(UpTo(contentType, "; "));
    return type == wanted;
}

CReportIntake Refusal(int status, std::string reason) {
    CReportIntake intake;
    intake.status = status;
    intake.error = std::move(reason);
    return intake;
}

// The report in the upload, or why there is none.
bool ReadUpload(const std::string& bytes, bool json, CReport* report, CReportIntake* refusal) {
    if (json) {
        std::string why;
        if (ReadReportJson(bytes, ReportTextCodec(), report, &why)) return true;
        *refusal = Refusal(400, "not a Tollvane JSON report: " + GbkToUtf8Lossy(why));
        return false;
    }
    *report = ReadReportText(bytes);
    if (report->isReport) return true;
    *refusal = Refusal(400, JoinedNotes(report->notes));
    return false;
}

}  // namespace

CReportIntake ReadUploadedReport(const std::string& bytes, const std::string& contentType) {
    const bool json = IsMediaType(contentType, "application/json");
    if (!json && !contentType.empty() && !IsMediaType(contentType, "text/plain"))
        return Refusal(415, "the body must be a report, as text/plain or application/json");
    if (bytes.empty()) return Refusal(400, "the body is empty");
    CReport report;
    CReportIntake intake;
    if (!ReadUpload(bytes, json, &report, &intake)) return intake;
    intake.ok = true;
    intake.status = 201;
    intake.json = json;
    intake.original = bytes;
    intake.domain = DomainOf(report);
    intake.publicAddress = PublicAddressOf(report);
    if (!intake.publicAddress.empty())
        intake.regionLabel = GbkToUtf8Lossy(IpLabelFor(CString(intake.publicAddress)).Bytes());
    SplitRegionLabel(intake.regionLabel, &intake.province, &intake.carrier);
    for (const CFinding& finding : AnalyzeRecords(report).findings)
        intake.findings.push_back({finding.id, static_cast<int>(finding.severity), finding.step,
                                   GbkToUtf8Lossy(finding.text)});
    ReadPath(report, &intake);
    return intake;
}

std::string ReportTextUtf8(const std::string& original, bool json) {
    if (!json) return GbkToUtf8Lossy(original);
    CReport report;
    std::string why;
    if (!ReadReportJson(original, ReportTextCodec(), &report, &why)) return std::string();
    return GbkToUtf8Lossy(RenderReportText(report));
}

void SplitRegionLabel(const std::string& label, std::string* province, std::string* carrier) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start <= label.size()) {
        const size_t end = std::min(label.find(' ', start), label.size());
        if (end > start) fields.push_back(label.substr(start, end - start));
        start = end + 1;
    }
    province->clear();
    carrier->clear();
    if (fields.empty()) return;
    if (fields.size() == 1) {
        *province = fields[0];
        return;
    }
    *province = fields[1];
    if (fields.size() >= 3) *carrier = fields.back();
}

std::string GbkToUtf8Lossy(const std::string& gbk) {
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1)) return std::string();
    std::string input = gbk;
    char* in = input.data();
    size_t inLeft = input.size();
    std::string output;
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(converter, &in, &inLeft, &out, &outLeft);
        output.append(buffer, sizeof buffer - outLeft);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
        // Not GBK, or cut off at the end: one replacement character for one byte.
        output += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    return output;
}

namespace {

// The stored bytes back in the model; false when they no longer read.
bool ReadStored(const std::string& original, bool json, CReport* report) {
    if (!json) {
        *report = ReadReportText(original);
        return true;
    }
    std::string why;
    return ReadReportJson(original, ReportTextCodec(), report, &why);
}

}  // namespace

std::string ReportModelJson(const std::string& original, bool json) {
    CReport report;
    if (!ReadStored(original, json, &report)) return std::string();
    return ReportBytes(report, EReportFormat::kJson);
}

std::string ReportChartSvg(const std::string& original, bool json) {
    CReport report;
    if (!ReadStored(original, json, &report)) return std::string();
    return PathChartSvg(report, ReportTextCodec());
}
