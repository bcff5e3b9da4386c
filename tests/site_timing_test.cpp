// The site timing step's table read back into the facts it was written from, and the
// findings those facts give at and past each threshold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnosis/site_timing_rules.h"
#include "model/site_timing_text.h"

namespace {

// connect, tls and first byte medians; worst is the median plus one.
CSiteTimingRowFacts Row(const char* scheme, const char* family, double connect, double tls,
                        double firstByte, int answered = 3, const char* failure = "") {
    CSiteTimingRowFacts row;
    row.scheme = scheme;
    row.family = family;
    row.address = std::string(family) == "IPv4" ? "192.0.2.10" : "2001:db8:ffff:ffff:ffff:ffff:ffff:1";
    row.status = answered > 0 ? 200 : 0;
    row.requests = 3;
    row.answered = answered;
    row.failure = failure;
    if (answered == 0) return row;
    const double dns = 12.3;
    row.dns = {dns, dns + 1};
    row.connect = {connect, connect + 1};
    if (tls >= 0) row.tls = {tls, tls + 1};
    row.firstByte = {firstByte, firstByte + 1};
    const double total = dns + connect + (tls > 0 ? tls : 0) + firstByte + 0.5;
    row.total = {total, total + 1};
    return row;
}

CSiteHeaderFacts Header(const char* name, const char* value) {
    return {"https", "IPv4", name, EscapeHeaderValue(value)};
}

struct CCase {
    const char* what;
    std::vector<CSiteTimingRowFacts> rows;
    std::vector<CSiteHeaderFacts> headers;
    std::vector<std::string> findings;
};

const CCase kCases[] = {
    {"healthy, both families", {Row("http", "IPv4", 20, -1, 30), Row("http", "IPv6", 21, -1, 31),
                                Row("https", "IPv4", 20, 40, 30), Row("https", "IPv6", 22, 41, 33)},
     {Header("X-Cache", "HIT from edge"), Header("Age", "12")}, {}},
    {"every phase at its threshold", {Row("https", "IPv4", 1000, 1000, 1000)}, {}, {}},
    {"first byte past it", {Row("https", "IPv4", 20, 40, 1000.1)}, {}, {"site-slow-server"}},
    {"connect past it", {Row("http", "IPv4", 1500, -1, 30)}, {}, {"site-slow-connect"}},
    {"handshake past it", {Row("https", "IPv4", 20, 1200, 30)}, {}, {"site-slow-tls"}},
    {"IPv6 refused everywhere", {Row("http", "IPv4", 20, -1, 30),
                                 Row("http", "IPv6", -1, -1, -1, 0, "连接被拒绝")},
     {}, {"ipv6-broken-only"}},
    {"IPv6 half answered is not broken", {Row("http", "IPv4", 20, -1, 30),
                                          Row("http", "IPv6", 20, -1, 30, 1, "连接超时")},
     {}, {}},
    {"IPv6 twice as slow and 500 ms more", {Row("http", "IPv4", 300, -1, 300),
                                            Row("http", "IPv6", 900, -1, 400)},
     {}, {"ipv6-slower"}},
    {"IPv6 slower by less than 500 ms", {Row("http", "IPv4", 100, -1, 100),
                                         Row("http", "IPv6", 500, -1, 100)},
     {}, {}},
    {"IPv4 broken, IPv6 fine", {Row("http", "IPv4", -1, -1, -1, 0, "连接超时"),
                                Row("http", "IPv6", 20, -1, 30)},
     {}, {}},
    {"cache misses, escaped", {Row("https", "IPv4", 20, 40, 30)},
     {Header("CF-Cache-Status", "miss"), Header("Via", "1.1 e\x01\xff\\dge")}, {"cdn-miss"}},
    {"a MISS outside a cache status header", {Row("https", "IPv4", 20, 40, 30)},
     {Header("Server-Timing", "cdn-cache; desc=MISS")}, {}},
};

std::vector<std::string> Ids(const std::vector<CFinding>& findings) {
    std::vector<std::string> ids;
    for (const CFinding& finding : findings) ids.push_back(finding.id);
    return ids;
}

TEST(SiteTiming, TheTableReadsBackIntoItsFactsAndTheFindingsFollowTheThresholds) {
    for (const CCase& c : kCases) {
        CSiteTimingFacts facts;
        facts.domain = "例子.test";
        facts.requestsEach = 3;
        facts.rows = c.rows;
        facts.headers = c.headers;
        if (c.rows.size() == 1) facts.familyNotes = {"IPv6：该域名没有IPv6地址"};
        const std::string text = RenderSiteTimingText(facts);
        CSiteTimingFacts read;
        ASSERT_TRUE(ReadSiteTimingText(text, &read)) << c.what << "\n" << text;
        EXPECT_EQ(text, RenderSiteTimingText(read)) << c.what;
        ASSERT_EQ(facts.rows.size(), read.rows.size()) << c.what;
        for (size_t i = 0; i < facts.rows.size(); ++i) {
            EXPECT_EQ(facts.rows[i].answered, read.rows[i].answered) << c.what;
            EXPECT_EQ(facts.rows[i].failure, read.rows[i].failure) << c.what;
            EXPECT_DOUBLE_EQ(facts.rows[i].firstByte.medianMs, read.rows[i].firstByte.medianMs) << c.what;
        }
        EXPECT_EQ(facts.headers.size(), read.headers.size()) << c.what;
        EXPECT_EQ(c.findings, Ids(JudgeSiteTiming(read, 16))) << c.what;
        EXPECT_EQ(std::string::npos, text.find_first_of("\x01\x7f\xff")) << c.what;
    }
}

}  // namespace
