#include <gtest/gtest.h>

#include <set>

#include "collector/rate_limit.h"
#include "collector/report_intake.h"
#include "collector/text_forms.h"
#include "collector/tickets.h"
#include "net/report_upload.h"

namespace {

TEST(CollectorTickets, AreRandomInTheFormAndAlphabet) {
    std::set<std::string> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::string ticket = NewTicket();
        std::string normal;
        ASSERT_TRUE(NormalizeTicket(ticket, &normal)) << ticket;
        EXPECT_EQ(normal, ticket);
        EXPECT_EQ(ticket.find_first_of("01OIL"), std::string::npos) << ticket;
        seen.insert(ticket);
    }
    EXPECT_EQ(seen.size(), 2000u);  // 31^8 codes: a repeat here means they are not random
}

TEST(CollectorTickets, NormalizeAcceptsOnlyTheForm) {
    const struct {
        const char* text;
        const char* ticket;  // nullptr: refused
    } cases[] = {
        {"7KQ2-MZ9D", "7KQ2-MZ9D"}, {"7kq2-mz9d", "7KQ2-MZ9D"}, {"7KQ2MZ9D", nullptr},
        {"7KQ2-MZ9O", nullptr},     {"1KQ2-MZ9D", nullptr},     {"7KQ2-MZ9D ", nullptr},
        {"7KQ2_MZ9D", nullptr},     {"../../etc", nullptr},     {"", nullptr},
    };
    for (const auto& c : cases) {
        std::string ticket;
        EXPECT_EQ(NormalizeTicket(c.text, &ticket), c.ticket != nullptr) << c.text;
        if (c.ticket) {
            EXPECT_EQ(ticket, c.ticket);
        }
    }
}

TEST(CollectorRateLimit, RefusesPastTheRateAndRefillsOverTime) {
    using namespace std::chrono;
    CRateLimiter limiter(60, 4);
    const auto t0 = CRateLimiter::Clock::time_point{} + hours(1);
    int allowed = 0;
    for (int i = 0; i < 100; ++i) allowed += limiter.Allow("192.0.2.1", t0) ? 1 : 0;
    EXPECT_EQ(allowed, 60);
    EXPECT_TRUE(limiter.Allow("192.0.2.2", t0));  // another source has its own bucket
    EXPECT_FALSE(limiter.Allow("192.0.2.1", t0 + milliseconds(500)));
    EXPECT_TRUE(limiter.Allow("192.0.2.1", t0 + seconds(1)));  // one a second comes back
    // A full table forgets idle sources rather than growing.
    for (int i = 0; i < 10; ++i) limiter.Allow("198.51.100." + std::to_string(i), t0 + minutes(5));
    EXPECT_TRUE(CRateLimiter(0).Allow("192.0.2.1", t0));  // 0: no limit
}

TEST(CollectorText, EscapesMarkupAndControls) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"a & \"b\"", "a &amp; &quot;b&quot;"},
        {"line\r\nnext\ttab", "line\r\nnext\ttab"},
        {"\x1b[31mred", "\xEF\xBF\xBD[31mred"},
        {u8"中国 电信", u8"中国 电信"},
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlEscape(c.in), c.out) << c.in;
    EXPECT_EQ(UrlEncode("a b/<&>"), "a%20b%2F%3C%26%3E");
}

TEST(CollectorText, Base64RoundTripsAnyBytes) {
    for (const std::string& bytes : {std::string(), std::string("a"), std::string("ab"),
                                    std::string("abc"), std::string("\0\xff\x80\xd6\xd0", 5)}) {
        std::string back;
        ASSERT_TRUE(Base64Decode(Base64Encode(bytes), &back));
        EXPECT_EQ(back, bytes);
    }
    std::string out;
    EXPECT_FALSE(Base64Decode("ab=c", &out));
    EXPECT_FALSE(Base64Decode("abc", &out));
}

TEST(CollectorIntake, SplitsTheRegionLabel) {
    const struct {
        const char* label;
        const char* province;
        const char* carrier;
    } cases[] = {
        {u8"中国 广东省 广州市 电信", u8"广东省", u8"电信"},
        {u8"中国 北京 北京市 联通", u8"北京", u8"联通"},
        {u8"局域网", u8"局域网", ""},
        {u8"美国", u8"美国", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        std::string province, carrier;
        SplitRegionLabel(c.label, &province, &carrier);
        EXPECT_EQ(province, c.province) << c.label;
        EXPECT_EQ(carrier, c.carrier) << c.label;
    }
}

TEST(CollectorIntake, RefusesWhatIsNoTextReport) {
    const struct {
        const char* body;
        const char* type;
        int status;
    } cases[] = {
        {"", "text/plain", 400},
        {"hello", "text/plain", 400},
        {"{}", "application/json", 400},
        {"{\"schema\":\"tollvane-report/1\"", "application/json", 400},
        {"x", "image/png", 415},
    };
    for (const auto& c : cases) {
        const CReportIntake intake = ReadUploadedReport(c.body, c.type);
        EXPECT_FALSE(intake.ok) << c.body;
        EXPECT_EQ(intake.status, c.status) << c.body;
        EXPECT_FALSE(intake.error.empty());
    }
}

TEST(ReportUpload, SendsReportsOverHttpsOrToThisMachineOnly) {
    const struct {
        const char* url;
        bool allowed;
    } cases[] = {
        {"https://support.example.net", true},     {"https://support.example.net:8443/desk/", true},
        {"http://127.0.0.1:8080", true},           {"http://127.9.9.9", true},
        {"http://localhost:8080/", true},          {"http://[::1]:8080", true},
        {"http://support.example.net", false},     {"http://127.0.0.1.example.net", false},
        {"http://user@127.0.0.1:8080", false},     {"ftp://127.0.0.1", false},
        {"https://exa mple.net", false},           {"support.example.net", false},
        {"http://192.168.1.10:8080", false},       {"https://", false},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_EQ(IsCollectorAddress(c.url, &why), c.allowed) << c.url;
        EXPECT_EQ(why.empty(), c.allowed) << c.url;
    }
    EXPECT_NE(NewUploadKey(), NewUploadKey());
}

}  // namespace
