// The report's grammar: the banner, then numbered blocks of a header ("第N步---NAME：TIME"),
// a body and a separator. Reports saved by any version read the same way; the bodies'
// facts are read by the step readers (step_facts.cpp).
#include "model/report_text.h"

#include "model/step_facts.h"

namespace {

const char kBannerTitle[] = "======================= 开始检测 =======================";
const char kHeaderStart[] = "\r\n第";
const char kHeaderStep[] = "步---";
const char kFullWidthColon[] = "：";

// The offset of the first full-width colon in GBK text from pos, stepping over
// double-byte characters so a trail byte never starts a match; npos when the line ends.
size_t FindColon(std::string_view text, size_t pos) {
    const std::string_view colon(kFullWidthColon);
    while (pos + 1 < text.size() && text[pos] != '\r' && text[pos] != '\n') {
        if (text.compare(pos, colon.size(), colon) == 0) return pos;
        pos += static_cast<unsigned char>(text[pos]) >= 0x81 ? 2 : 1;
    }
    return std::string_view::npos;
}

// Reads a header at pos (its leading CR LF included); on success fills the record's
// number, name and time and returns the offset of its body, else npos. A number with a
// leading zero is no header of ours: it would not render back the same.
size_t ReadHeader(std::string_view text, size_t pos, CStepRecord* record) {
    const std::string_view start(kHeaderStart), step(kHeaderStep);
    if (text.compare(pos, start.size(), start) != 0) return std::string_view::npos;
    size_t at = pos + start.size();
    int number = 0, digits = 0;
    if (at < text.size() && text[at] == '0') return std::string_view::npos;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
        number = number * 10 + (text[at++] - '0');
        ++digits;
    }
    if (digits == 0 || text.compare(at, step.size(), step) != 0) return std::string_view::npos;
    at += step.size();
    const size_t colon = FindColon(text, at);
    if (colon == std::string_view::npos) return std::string_view::npos;
    const size_t timeStart = colon + std::string_view(kFullWidthColon).size();
    const size_t lineEnd = text.find("\r\n", timeStart);
    if (lineEnd == std::string_view::npos) return std::string_view::npos;
    record->number = number;
    record->name = std::string(text.substr(at, colon - at));
    record->ended = std::string(text.substr(timeStart, lineEnd - timeStart));
    record->step = StepOfName(record->name);
    return lineEnd + 2;
}

// The sentence's "%d" replaced by the number.
std::string Sentence(const char* format, int number) {
    std::string text = format;
    const size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(number));
    return text;
}

void NoteMissingSteps(CReport* report) {
    bool seen[10] = {};
    for (const CStepRecord& record : report->steps)
        if (record.step != EReportStep::kUnknown && static_cast<int>(record.step) <= 9)
            seen[static_cast<int>(record.step)] = true;
    for (int step = 1; step <= 9; ++step)
        if (!seen[step]) report->notes.push_back(Sentence("报告中没有第%d步", step));
}

// Bytes whose banner ends in LF alone, and that hold no CR LF at all, get every LF turned
// into CR LF; turning every CR LF back into LF then gives the same bytes again.
bool RestoreLineEnds(std::string_view bytes, std::string* restored) {
    if (bytes.find("\r\n") != std::string_view::npos ||
        bytes.find(std::string(kBannerTitle) + "\n") == std::string_view::npos)
        return false;
    restored->reserve(bytes.size() + bytes.size() / 16);
    for (char ch : bytes) {
        if (ch == '\n') *restored += '\r';
        *restored += ch;
    }
    return true;
}

// Blocks run from the banner to the first header that does not parse; a block whose
// separator is missing ends the report. What lies outside the blocks is kept.
void ReadBlocks(std::string_view bytes, CReport* report) {
    const std::string separator = StepSeparator();
    const size_t banner = bytes.find(kReportBanner);
    if (banner == std::string_view::npos) {
        report->leading = std::string(bytes);
        report->notes.push_back("这不是检测报告：没有找到“开始检测”横幅");
        return;
    }
    report->isReport = true;
    report->leading = std::string(bytes.substr(0, banner));
    size_t pos = banner + std::string_view(kReportBanner).size();
    while (pos < bytes.size()) {
        CStepRecord record;
        const size_t body = ReadHeader(bytes, pos, &record);
        if (body == std::string_view::npos) {
            report->notes.push_back(
                Sentence("第%d步之后的内容不是报告的格式，未分析",
                         report->steps.empty() ? 0 : report->steps.back().number));
            break;
        }
        const size_t end = bytes.find(separator, body);
        record.complete = end != std::string_view::npos;
        record.text = std::string(bytes.substr(body, record.complete ? end - body : std::string_view::npos));
        if (!record.complete)
            report->notes.push_back(Sentence("报告不完整：在第%d步中途结束", record.number));
        if (record.step == EReportStep::kUnknown)
            report->notes.push_back(Sentence("第%d步不是本程序已知的步骤，未分析", record.number));
        report->steps.push_back(std::move(record));
        pos = report->steps.back().complete ? end + separator.size() : bytes.size();
        // A second run appended to the first starts with its own banner: only the first is read.
        if (bytes.compare(pos, 2, "\r\n") == 0 && bytes.compare(pos, 4, "\r\n第") != 0) break;
        if (bytes.compare(pos, std::string_view(kBannerTitle).size(), kBannerTitle) == 0) break;
    }
    if (pos < bytes.size()) report->trailing = std::string(bytes.substr(pos));
    NoteMissingSteps(report);
}

}  // namespace

const CStepRecord* CReport::Find(EReportStep step) const {
    for (const CStepRecord& record : steps)
        if (record.step == step) return &record;
    return nullptr;
}

CReport ReadReportText(std::string_view bytes) {
    CReport report;
    std::string restored;
    report.lfOnly = RestoreLineEnds(bytes, &restored);
    ReadBlocks(report.lfOnly ? std::string_view(restored) : bytes, &report);
    for (CStepRecord& record : report.steps) ReadStepFacts(&record);
    return report;
}

std::string RenderReportText(const CReport& report) {
    std::string text = report.leading;
    if (report.isReport) text += kReportBanner;
    for (const CStepRecord& record : report.steps) {
        text += StepHeader(record.number, record.name, record.ended) + record.text;
        if (record.complete) text += StepSeparator();
    }
    text += report.trailing;
    if (!report.lfOnly) return text;
    std::string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
    return lf;
}
