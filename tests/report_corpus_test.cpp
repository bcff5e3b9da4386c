// Every report under tests/reports/ against the findings expected of it, kept beside it
// as NAME.expected.json: {"findings":[{"id":..,"severity":..,"step":..}],"isReport":..}.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "diagnosis/findings.h"
#include "model/report_json.h"
#include "model/report_text.h"
#include "platform/utf8_gbk.h"

namespace {

using nlohmann::json;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> CorpusReports() {
    std::vector<std::string> names;
    DIR* folder = opendir(REPORT_CORPUS_DIR);
    if (!folder) return names;
    while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) names.push_back(name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

json Summary(const CAnalysis& analysis) {
    json findings = json::array();
    for (const CFinding& finding : analysis.findings)
        findings.push_back({{"id", finding.id},
                            {"severity", SeverityName(finding.severity)},
                            {"step", finding.step}});
    return {{"findings", findings}, {"isReport", analysis.isReport}};
}

TEST(ReportCorpus, EveryReportHasItsExpectedFindings) {
    const std::vector<std::string> names = CorpusReports();
    ASSERT_GE(names.size(), 10u) << "corpus missing from " REPORT_CORPUS_DIR;
    for (const std::string& name : names) {
        const std::string base =
            std::string(REPORT_CORPUS_DIR) + "/" + name.substr(0, name.size() - 4);
        const std::string expected = ReadFile(base + ".expected.json");
        ASSERT_FALSE(expected.empty()) << name << " has no .expected.json";
        EXPECT_EQ(Summary(AnalyzeReport(ReadFile(base + ".txt"))), json::parse(expected)) << name;
    }
}

const CTextCodec kCodec = {
    [](std::string_view gbk, std::string* utf8) { return ReportGbkToUtf8(std::string(gbk), utf8); },
    [](std::string_view utf8, std::string* gbk) { return ReportUtf8ToGbk(std::string(utf8), gbk); },
};

// Every report reads into records and renders back to the very same bytes, directly and
// by way of its JSON form, and the JSON form is judged as the text is.
TEST(ReportCorpus, TextAndJsonRoundTripByteForByte) {
    for (const std::string& name : CorpusReports()) {
        const std::string base = std::string(REPORT_CORPUS_DIR) + "/" + name.substr(0, name.size() - 4);
        const std::string bytes = ReadFile(base + ".txt");
        const CReport report = ReadReportText(bytes);
        EXPECT_EQ(RenderReportText(report), bytes) << name;
        CReport judged = report;
        judged.findings = AnalyzeRecords(report).findings;
        CReport fromJson;
        std::string error;
        ASSERT_TRUE(ReadReportJson(WriteReportJson(judged, kCodec), kCodec, &fromJson, &error)) << name << error;
        EXPECT_EQ(RenderReportText(fromJson), bytes) << name;
        EXPECT_EQ(Summary(AnalyzeRecords(fromJson)), json::parse(ReadFile(base + ".expected.json"))) << name;
        EXPECT_EQ(WriteReportJson(fromJson, kCodec), WriteReportJson(judged, kCodec)) << name;
    }
}

}  // namespace
