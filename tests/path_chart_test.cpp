// The path chart's layout, read as rows rather than pixels, and the web page's handling
// of hostile report text.
#include "render/path_chart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text_encoding.h"
#include "render/report_html.h"

namespace {

bool ToUtf8(std::string_view gbk, std::string* utf8) { return GbkToUtf8(std::string(gbk), utf8); }
bool ToGbk(std::string_view, std::string*) { return false; }
const CTextCodec kCodec{&ToUtf8, &ToGbk};

struct CHopCase {
    const char* address;
    double loss;
    double best, average, worst;
};
CPathTableFacts Table(const std::vector<CHopCase>& hops) {
    CPathTableFacts table;
    table.target = "203.0.113.80";
    table.rounds = 30;
    int ttl = 0;
    for (const CHopCase& hop : hops) {
        CPathRowFacts row;
        row.ttl = ++ttl;
        row.address = hop.address;
        row.lossPercent = hop.loss;
        row.bestMs = hop.best, row.averageMs = hop.average, row.worstMs = hop.worst;
        table.rows.push_back(row);
    }
    return table;
}

const ELossShade G = ELossShade::kNone, A = ELossShade::kSome, R = ELossShade::kHeavy,
                 S = ELossShade::kSilent;

struct CChartCase {
    const char* what;
    std::vector<CHopCase> hops;
    std::vector<ELossShade> shades;
    std::vector<bool> persists;
};

TEST(PathChart, HopsBecomeRowsColouredAndMarkedAsTheFindingsReadThem) {
    const std::vector<CChartCase> cases = {
        {"loss from hop 3 on, a silent hop before it",
         {{"192.168.1.1", 0, 1, 1.1, 3},
          {"???", 100, -1, -1, -1},
          {"61.140.0.1", 16.7, 11, 13, 25},
          {"203.0.113.80", 40, 29, 31, 40.2}},
         {G, S, A, R},
         {false, false, true, true}},
        {"loss at one router only is its slow answers, not marked",
         {{"10.0.0.1", 0, 1, 1, 2}, {"10.0.1.1", 50, 5, 6, 9}, {"203.0.113.80", 0, 9, 10, 12}},
         {G, R, G},
         {false, false, false}},
        {"a silent hop inside the lossy stretch is stepped over",
         {{"10.0.0.1", 10, 1, 1, 2}, {"???", 100, -1, -1, -1}, {"203.0.113.80", 10, 9, 10, 12}},
         {A, S, A},
         {true, true, true}},
        {"the limits are the findings' own: 5 % is noise, 30 % is heavy",
         {{"10.0.0.1", 5.0, 1, 1, 2}, {"10.0.1.1", 5.1, 1, 2, 3}, {"203.0.113.80", 30, 2, 3, 4}},
         {G, A, R},
         {false, true, true}},
        {"a destination that never answers is nothing to judge",
         {{"10.0.0.1", 20, 1, 1, 2}, {"???", 100, -1, -1, -1}},
         {A, S},
         {false, false}},
    };
    for (const CChartCase& test : cases) {
        CPathFacts path;
        path.ipv4 = Table(test.hops);
        path.ipv6 = path.ipv4;
        const CPathChart chart = LayOutPathChart(path, "www.example.com", "2026-12- 7 20:24: 5");
        ASSERT_EQ(chart.tables.size(), 2u) << test.what;
        for (const CChartTable& table : chart.tables) {
            ASSERT_EQ(table.rows.size(), test.hops.size()) << test.what;
            for (size_t i = 0; i < table.rows.size(); ++i) {
                const CChartRow& row = table.rows[i];
                EXPECT_EQ(row.ttl, static_cast<int>(i) + 1) << test.what;
                EXPECT_EQ(row.shade, test.shades[i]) << test.what << " row " << i;
                EXPECT_EQ(row.silent, test.shades[i] == S) << test.what << " row " << i;
                EXPECT_EQ(row.lossPersists, test.persists[i]) << test.what << " row " << i;
                // The red stripe is drawn inside exactly the marked rows' bands.
                bool striped = false;
                for (const CChartRect& rect : chart.rects)
                    striped |= rect.ink == EChartInk::kMark && rect.y >= row.top &&
                               rect.y < row.top + row.height;
                EXPECT_EQ(striped, row.lossPersists) << test.what << " row " << i;
            }
        }
    }
}

TEST(PathChart, OneScaleForBothTablesAndTheTitleNamesDomainTimeAndRounds) {
    CPathFacts path;
    path.ipv4 = Table({{"10.0.0.1", 0, 1, 2, 3}, {"203.0.113.80", 0, 10, 20, 40.2}});
    path.ipv6 = Table({{"fd00::1", 0, 1, 2, 3}, {"2001:db8::80", 0, 10, 20, 74}});
    const CPathChart chart = LayOutPathChart(path, "www.example.com", "2026-12- 7 20:24: 5");
    EXPECT_EQ(chart.scaleMs, 100);
    EXPECT_NE(chart.title.find("www.example.com"), std::string::npos);
    EXPECT_NE(chart.title.find("2026-12- 7 20:24: 5"), std::string::npos);
    EXPECT_NE(chart.title.find("30轮"), std::string::npos);
    for (const CChartText& text : chart.texts) EXPECT_LE(text.y, chart.height);
    EXPECT_TRUE(LayOutPathChart(CPathFacts(), "x", "t").empty);
}

struct CHostileCase {
    const char* gbk;
    const char* mustShow;  // UTF-8
};

TEST(ReportHtml, HostileReportTextIsShownEscapedWhereverItStands) {
    const std::vector<CHostileCase> cases = {
        {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"a & b <img src=http://198.51.100.1/x>",
         "a &amp; b &lt;img src=http://198.51.100.1/x&gt;"},
        {"\"quoted\" 'single'", "&quot;quoted&quot; &#39;single&#39;"},
        {"x\x01\x1b[31my\x7fz\x08", "x[31myz"},
        {"\xFF\xFE ok \x81", "\xEF\xBF\xBD\xEF\xBF\xBD ok \xEF\xBF\xBD"},
        {"中文\r\n下一行", u8"中文\n下一行"},
        {"</pre></svg><style>", "&lt;/pre&gt;&lt;/svg&gt;&lt;style&gt;"},
    };
    for (const CHostileCase& test : cases) {
        CReport report;
        report.domain = test.gbk;
        report.findings.push_back(CFinding{"path-loss", ESeverity::kCritical, 13, test.gbk});
        CStepRecord step;
        step.step = EReportStep::kPathStatistics;
        step.path.ipv4 = Table({{test.gbk, 40, 1, 2, 3}});
        step.path.ipv4.rows[0].label = test.gbk;
        report.steps.push_back(step);
        const std::string page = RenderReportHtml(report, test.gbk, kCodec);
        size_t shown = 0;
        for (size_t at = page.find(test.mustShow); at != std::string::npos;
             at = page.find(test.mustShow, at + 1))
            ++shown;
        // The title twice, the heading, the finding, the hop's address and label, the text.
        EXPECT_GE(shown, 6u) << test.gbk;
        EXPECT_EQ(page.find("<script"), std::string::npos) << test.gbk;
        for (size_t at = page.find("src="); at != std::string::npos; at = page.find("src=", at + 1))
            EXPECT_EQ(page.compare(at - 8, 8, "&lt;img "), 0) << test.gbk;
        for (const char* forbidden :
             {"\x01", "\x1b", "\x7f", "\x08", "\r", "href=", "url(", "@import"})
            EXPECT_EQ(page.find(forbidden), std::string::npos) << test.gbk << " " << forbidden;
        EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
        EXPECT_NE(page.find("@page { size: A4"), std::string::npos);
    }
}

}  // namespace
