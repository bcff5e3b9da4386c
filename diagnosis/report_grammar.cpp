#include "diagnosis/report_grammar.h"

const char kDiagnosisBlockName[] = "诊断结论";

namespace {

const char kBanner[] = "======================= 开始检测 =======================\r\n";
const char kBannerTitle[] = "======================= 开始检测 =======================";
const char kHeaderStart[] = "\r\n第";
const char kHeaderStep[] = "步---";
const char kFullWidthColon[] = "：";
const std::string kSeparator = "\r\n \r\n" + std::string(69, '*');

struct CNamedStep {
    const char* name;
    EReportStep step;
};

const CNamedStep kNames[] = {
    {"获取域名信息", EReportStep::kWhois},
    {"获取公网IP", EReportStep::kPublicIp},
    {"获取本地网络信息", EReportStep::kIpconfig},
    {"刷新DNS缓存", EReportStep::kFlushDns},
    {"检测FTP（21）端口", EReportStep::kFtpPort},
    {"检测HTTP（80）端口", EReportStep::kHttpPort},
    {"Ping命令", EReportStep::kPing},
    {"Tracert命令", EReportStep::kTracert},
    {"检测网站访问状态", EReportStep::kWebsite},
    {"DNS解析", EReportStep::kDnsAnswers},
    {"HTTPS访问及证书", EReportStep::kHttps},
    {"IPv6连通性", EReportStep::kIpv6},
    {"路由逐跳统计", EReportStep::kPathStatistics},
    {"出口IP与DNS", EReportStep::kEgress},
    {"代理与本机网络环境", EReportStep::kEnvironment},
    {"网站访问耗时", EReportStep::kSiteTiming},
    {kDiagnosisBlockName, EReportStep::kDiagnosis},
};

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

// Reads a header at pos (its leading CR LF included); on success fills the block's
// number, name and time and returns the offset of its body, else npos.
size_t ReadHeader(std::string_view text, size_t pos, CReportBlock* block) {
    const std::string_view start(kHeaderStart), step(kHeaderStep);
    if (text.compare(pos, start.size(), start) != 0) return std::string_view::npos;
    size_t at = pos + start.size();
    int number = 0, digits = 0;
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
    block->number = number;
    block->name = text.substr(at, colon - at);
    block->time = text.substr(timeStart, lineEnd - timeStart);
    block->step = StepOfName(block->name);
    return lineEnd + 2;
}

// The sentence's "%d" replaced by the number.
std::string Sentence(const char* format, int number) {
    std::string text = format;
    const size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(number));
    return text;
}

void NoteMissingSteps(CParsedReport* report) {
    bool seen[10] = {};
    for (const CReportBlock& block : report->blocks)
        if (block.step != EReportStep::kUnknown && static_cast<int>(block.step) <= 9)
            seen[static_cast<int>(block.step)] = true;
    for (int step = 1; step <= 9; ++step)
        if (!seen[step]) report->notes.push_back(Sentence("报告中没有第%d步", step));
}

}  // namespace

EReportStep StepOfName(std::string_view name) {
    for (const CNamedStep& entry : kNames)
        if (name == entry.name) return entry.step;
    return EReportStep::kUnknown;
}

const CReportBlock* CParsedReport::Find(EReportStep step) const {
    for (const CReportBlock& block : blocks)
        if (block.step == step) return &block;
    return nullptr;
}

// Blocks run from the banner to the first header that does not parse; a block whose
// separator is missing ends the report.
CParsedReport ParseReport(std::string_view bytes) {
    CParsedReport report;
    const size_t banner = bytes.find(kBanner);
    if (banner == std::string_view::npos) {
        report.notes.push_back("这不是检测报告：没有找到“开始检测”横幅");
        return report;
    }
    report.isReport = true;
    size_t pos = banner + std::string_view(kBanner).size();
    while (pos < bytes.size()) {
        CReportBlock block;
        const size_t body = ReadHeader(bytes, pos, &block);
        if (body == std::string_view::npos) {
            report.notes.push_back(
                Sentence("第%d步之后的内容不是报告的格式，未分析",
                         report.blocks.empty() ? 0 : report.blocks.back().number));
            break;
        }
        const size_t end = bytes.find(kSeparator, body);
        block.complete = end != std::string_view::npos;
        block.body = bytes.substr(body, block.complete ? end - body : std::string_view::npos);
        if (!block.complete)
            report.notes.push_back(Sentence("报告不完整：在第%d步中途结束", block.number));
        if (block.step == EReportStep::kUnknown)
            report.notes.push_back(Sentence("第%d步不是本程序已知的步骤，未分析", block.number));
        report.blocks.push_back(block);
        pos = block.complete ? end + kSeparator.size() : bytes.size();
        // A second run appended to the first starts with its own banner: only the first is read.
        if (bytes.compare(pos, 2, "\r\n") == 0 && bytes.compare(pos, 4, "\r\n第") != 0) break;
        if (bytes.compare(pos, std::string_view(kBannerTitle).size(), kBannerTitle) == 0) break;
    }
    NoteMissingSteps(&report);
    return report;
}

bool RestoreLineEnds(std::string* bytes) {
    const std::string title(kBannerTitle);
    const size_t banner = bytes->find(title + "\n");
    if (banner == std::string::npos || bytes->find(kBanner) != std::string::npos) return false;
    std::string restored;
    restored.reserve(bytes->size() + bytes->size() / 16);
    for (size_t i = 0; i < bytes->size(); ++i) {
        if ((*bytes)[i] == '\n' && (i == 0 || (*bytes)[i - 1] != '\r')) restored += '\r';
        restored += (*bytes)[i];
    }
    bytes->swap(restored);
    return true;
}
