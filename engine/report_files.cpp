#include "engine/report_files.h"

#include <cstdio>

#include "diagnosis/thresholds.h"
#include "engine/report_file_text.h"
#include "model/report_text.h"
#include "platform/text_encoding.h"
#include "platform/utf8_gbk.h"
#include "render/report_html.h"

namespace {

// The extension of the path's last part, lowered; "" when it has none.
std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::string();
    std::string extension = name.substr(dot);
    for (char& ch : extension)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return extension;
}

bool IsJson(const std::string& bytes) {
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes[first] == '{';
}

}  // namespace

bool ReportFormatOfPath(const std::string& path, EReportFormat* format, CString* error) {
    const std::string extension = ExtensionOf(path);
    if (extension == ".json") {
        *format = EReportFormat::kJson;
        return true;
    }
    if (extension == ".html" || extension == ".htm") {
        *format = EReportFormat::kHtml;
        return true;
    }
    // Any other name gets the text, as every -o did before there were other forms: a
    // script saving to "report.example.com" or "out.log" keeps working.
    (void)error;
    *format = EReportFormat::kText;
    return true;
}

const CTextCodec& ReportTextCodec() {
    static const CTextCodec codec = {
        [](std::string_view gbk, std::string* utf8) {
            return ReportGbkToUtf8(std::string(gbk), utf8);
        },
        [](std::string_view utf8, std::string* gbk) {
            return ReportUtf8ToGbk(std::string(utf8), gbk);
        },
    };
    return codec;
}

bool ReadReportBytes(const std::string& bytes, CReport* report, CString* error) {
    if (!IsJson(bytes)) {
        *report = ReadReportText(bytes);
        return true;
    }
    std::string why;
    if (ReadReportJson(bytes, ReportTextCodec(), report, &why)) return true;
    *error = CString(why);
    return false;
}

std::string ReportBytes(const CReport& report, EReportFormat format) {
    if (format == EReportFormat::kText) return RenderReportText(report);
    CReport judged = report;
    if (judged.findings.empty() && judged.isReport)
        judged.findings = AnalyzeRecords(report).findings;
    if (format == EReportFormat::kHtml)
        return RenderReportHtml(judged, RenderReportText(report), ReportTextCodec());
    return WriteReportJson(judged, ReportTextCodec());
}

bool SaveReportAs(const std::string& path, const CReport& report, CString* error) {
    EReportFormat format = EReportFormat::kText;
    if (!ReportFormatOfPath(path, &format, error)) return false;
    return SaveReportFile(path, CString(ReportBytes(report, format)), error);
}

bool ConvertReportFile(const std::string& in, const std::string& out, CString* error) {
    EReportFormat format = EReportFormat::kText;
    if (!ReportFormatOfPath(out, &format, error)) return false;
    std::string bytes;
    CReport report;
    if (!ReadReportFile(in, &bytes, error) || !ReadReportBytes(bytes, &report, error)) return false;
    return SaveReportFile(out, CString(ReportBytes(report, format)), error);
}

CAnalysis AnalyzeReportBytes(const std::string& bytes) {
    CReport report;
    CString error;
    if (!ReadReportBytes(bytes, &report, &error)) {
        CAnalysis analysis;
        analysis.notes.push_back(error.Bytes());
        return analysis;
    }
    return AnalyzeRecords(report);
}

bool ReadReportFile(const std::string& path, std::string* bytes, CString* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = "无法打开报告文件";
        return false;
    }
    bytes->clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (static_cast<long long>(bytes->size() + got) > diagnosis_limits::kMaxReportBytes) {
            std::fclose(file);
            *error = "文件太大，不是检测报告（超过64 MiB）";
            return false;
        }
        bytes->append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) *error = "读取报告文件失败";
    return !failed;
}
