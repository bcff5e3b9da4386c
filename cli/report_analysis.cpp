#include "cli/report_analysis.h"

#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/visible_controls.h"
#include "engine/report_files.h"
#include "diagnosis/thresholds.h"
#include "platform/text_encoding.h"

namespace {

using nlohmann::json;

// False with the reason in *error; *bytes is reused from file to file.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    bytes->clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (static_cast<long long>(bytes->size() + got) > diagnosis_limits::kMaxReportBytes) {
            std::fclose(file);
            *error = "larger than any report (over 64 MiB)";
            return false;
        }
        bytes->append(chunk, got);
    }
    const bool failed = std::ferror(file) != 0;
    if (failed) *error = std::strerror(errno);
    std::fclose(file);
    return !failed;
}

std::string Utf8(const std::string& gbk) {
    std::string utf8;
    return GbkToUtf8(gbk, &utf8) ? utf8 : gbk;
}

json FindingsJson(const CAnalysis& analysis) {
    json findings = json::array();
    for (const CFinding& finding : analysis.findings) {
        findings.push_back({{"id", finding.id},
                            {"severity", SeverityName(finding.severity)},
                            {"step", finding.step},
                            {"text", Utf8(finding.text)}});
    }
    return findings;
}

json NotesJson(const CAnalysis& analysis) {
    json notes = json::array();
    for (const std::string& note : analysis.notes) notes.push_back(Utf8(note));
    return notes;
}

// Flushed at once, so what goes to standard output and standard error keeps its order.
void Say(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// GBK text as the terminal is to show it: decoded, judged on code points, re-encoded.
std::string GbkForTerminal(const std::string& gbk) {
    CGbkCodePoints decoder;
    CVisibleControls visible;
    std::u32string shown = visible.Filter(decoder.Convert(gbk) + decoder.Flush());
    return CodePointsToTerminal(shown + visible.Flush());
}

// A file name or error text, in the terminal's own encoding, made as safe as the report's
// text; bytes that are no text of that encoding become '?'.
std::string LocalForTerminal(const std::string& text) {
    std::string gbk;
    if (!TerminalTextToGbk(text, &gbk)) {
        gbk = text;
        for (char& c : gbk)
            if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    }
    return GbkForTerminal(gbk);
}

}  // namespace

std::string FindingLines(const CAnalysis& analysis) {
    std::string gbk;
    for (const CFinding& finding : analysis.findings)
        gbk += std::string("[") + SeverityWord(finding.severity) + "] " + finding.text + "\n";
    for (const std::string& note : analysis.notes) gbk += "（" + note + "）\n";
    return GbkForTerminal(gbk);
}

int AnalyzeReportFiles(const std::vector<std::string>& files, bool asJson, std::FILE* out,
                       std::FILE* err) {
    // The document goes out a report at a time, so a mailbox of reports takes no more
    // memory than one.
    if (asJson) Say(out, "{\"reports\":[");
    std::string bytes, error;
    int status = 0;
    for (const std::string& path : files) {
        CAnalysis analysis;
        if (!ReadWholeFile(path, &bytes, &error)) {
            Say(err,
                LocalForTerminal("tollvane: " + path + ": cannot read: " + error + "\n"));
        } else if (!(analysis = AnalyzeReportBytes(bytes)).isReport) {
            error = "not a check report (no banner, or JSON of another kind)";
            Say(err, LocalForTerminal("tollvane: " + path + ": " + error + "\n"));
        }
        if (!analysis.isReport) status = 2;
        if (asJson) {
            json report = {{"file", path},
                           {"findings", FindingsJson(analysis)},
                           {"notes", NotesJson(analysis)}};
            if (!analysis.isReport) report["error"] = error;
            Say(out, (&path == &files.front() ? "" : ",") +
                         report.dump(-1, ' ', false, json::error_handler_t::replace));
        } else if (analysis.isReport) {
            if (files.size() > 1) Say(out, LocalForTerminal("==> " + path + " <==\n"));
            Say(out, FindingLines(analysis));
        }
    }
    if (asJson) Say(out, "]}\n");
    return status;
}

void ShowRunFindings(const std::string& report, std::FILE* stream) {
    Say(stream, "\n" + GbkForTerminal("诊断结论：\n") + FindingLines(AnalyzeReport(report)));
}
