// Every report under tests/reports/ redacted: it still reads as a report and analyzes to
// the same findings, whose sentences are the original ones with the same placeholder
// words; a file that is no report is refused, with the reason.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "diagnosis/findings.h"
#include "model/report_text.h"
#include "privacy/redaction.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace

TEST(RedactionCorpus, FindingsHoldAfterRedaction) {
    DIR* folder = opendir(REPORT_CORPUS_DIR);
    ASSERT_NE(folder, nullptr);
    int redacted = 0;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || name.compare(name.size() - 4, 4, ".txt") != 0) continue;
        CReport original = ReadReportText(ReadFile(std::string(REPORT_CORPUS_DIR "/") + name));
        original.findings = AnalyzeRecords(original).findings;
        CRedactedReport result;
        std::string error;
        if (!original.isReport) {
            EXPECT_FALSE(RedactReport(original, &result, &error)) << name;
            EXPECT_FALSE(error.empty()) << name;
            continue;
        }
        ASSERT_TRUE(RedactReport(original, &result, &error)) << name << ": " << error;
        // result.report.findings: the original findings with the placeholder words.
        const CAnalysis after = AnalyzeReport(result.text);
        ASSERT_EQ(after.findings.size(), result.report.findings.size()) << name;
        for (size_t i = 0; i < after.findings.size(); ++i) {
            const CFinding& want = result.report.findings[i];
            EXPECT_EQ(after.findings[i].id, want.id) << name;
            EXPECT_EQ(after.findings[i].severity, want.severity) << name;
            EXPECT_EQ(after.findings[i].step, want.step) << name;
            EXPECT_EQ(after.findings[i].text, want.text) << name;
        }
        ++redacted;
    }
    closedir(folder);
    EXPECT_GT(redacted, 20);
}
