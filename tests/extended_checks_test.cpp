#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http_client.h"
#include "probes/extended_checks.h"
#include "tests/test_support.h"

namespace {

struct CNameCase {
    const char* pattern;
    const char* host;
    bool matches;
};

TEST(CertificateNameTest, CoversHostsAsBrowsersDo) {
    const CNameCase cases[] = {
        {"example.com", "example.com", true},
        {"Example.COM", "example.com", true},
        {"example.com", "example.com.", true},
        {"example.com", "www.example.com", false},
        {"*.example.com", "www.example.com", true},
        {"*.example.com", "example.com", false},
        {"*.example.com", "a.b.example.com", false},
        {"*.com", "example.com", false},
        {"*.example.com", "wwwexample.com", false},
        {"", "example.com", false},
        {"example.com", "", false},
    };
    for (const CNameCase& c : cases) {
        EXPECT_EQ(CertificateNameMatches(c.pattern, c.host), c.matches)
            << c.pattern << " vs " << c.host;
    }
}

const long long kNow = 1800000000;  // 2027-01-15 08:00:00 UTC
const long long kDay = 86400;

CServerCertificate GoodCertificate() {
    CServerCertificate certificate;
    certificate.present = true;
    certificate.subject = "CN = example.com";
    certificate.issuer = "CN = Test CA";
    certificate.dnsNames = {"example.com", "www.example.com"};
    certificate.notBefore = kNow - 10 * kDay;
    certificate.notAfter = kNow + 30 * kDay + 3600;
    certificate.trusted = true;
    certificate.nameMatches = true;
    return certificate;
}

TEST(CertificateTextTest, ShowsDetailsThenVerdict) {
    EXPECT_EQ(FormatCertificate(GoodCertificate(), kNow),
              "证书主题：CN = example.com\r\n"
              "证书备用名称：example.com、www.example.com\r\n"
              "证书颁发者：CN = Test CA\r\n"
              "有效期自：2027-01-05 08:00:00 UTC\r\n"
              "有效期至：2027-02-14 09:00:00 UTC\r\n"
              "证书将于30天后过期\r\n"
              "证书受系统信任\r\n"
              "证书与域名匹配\r\n");
}

struct CVerdictCase {
    const char* what;
    void (*change)(CServerCertificate*);
    std::vector<std::string> lines;  // each must appear as a whole line
    const char* absent;              // must not appear at all
};

TEST(CertificateTextTest, NamesEachProblem) {
    const CVerdictCase cases[] = {
        {"expired", [](CServerCertificate* c) { c->notAfter = kNow - 1; }, {"证书已过期"}, "天后过期"},
        {"expires now", [](CServerCertificate* c) { c->notAfter = kNow; }, {"证书已过期"}, "天后过期"},
        {"last day", [](CServerCertificate* c) { c->notAfter = kNow + kDay - 1; },
         {"证书将于0天后过期"}, "证书已过期"},
        {"not yet valid", [](CServerCertificate* c) { c->notBefore = kNow + 1; },
         {"证书尚未生效"}, "天后过期"},
        {"untrusted", [](CServerCertificate* c) { c->trusted = false; }, {"证书不受信任", "证书与域名匹配"}, "证书受系统信任"},
        {"wrong name", [](CServerCertificate* c) { c->nameMatches = false; },
         {"证书与域名不匹配", "证书受系统信任"}, "证书与域名匹配"},
        {"no alternative names",
         [](CServerCertificate* c) { c->dnsNames.clear(); },
         {"证书主题：CN = example.com", "证书颁发者：CN = Test CA"}, "证书备用名称"},
        {"none read", [](CServerCertificate* c) { c->present = false; }, {"未能读取服务器证书"}, "证书主题"},
    };
    for (const CVerdictCase& c : cases) {
        CServerCertificate certificate = GoodCertificate();
        c.change(&certificate);
        const std::string text = "\r\n" + FormatCertificate(certificate, kNow).Bytes();
        for (const std::string& line : c.lines)
            EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << c.what << ": " << text;
        EXPECT_EQ(text.find(c.absent), std::string::npos) << c.what << ": " << text;
    }
}

CDnsRecord Record(EDnsType type, const char* owner, const char* value, unsigned long ttl) {
    CDnsRecord record;
    record.type = type;
    record.owner = owner;
    record.value = value;
    record.ttl = ttl;
    return record;
}

CDnsAnswer Answer(EPlatformError failure, std::vector<CDnsRecord> records = {}) {
    CDnsAnswer answer;
    answer.failure = failure;
    answer.records = std::move(records);
    return answer;
}

TEST(DnsReportTest, ChainOnceThenAddressesThenServers) {
    const CDnsRecord alias = Record(EDnsType::kCname, "example.com", "edge.example.net", 300);
    CDnsNameReport domain{"example.com",
                          Answer(EPlatformError::kNone,
                                 {alias, Record(EDnsType::kA, "edge.example.net", "192.0.2.7", 60),
                                  Record(EDnsType::kA, "edge.example.net", "192.0.2.8", 60)}),
                          Answer(EPlatformError::kNone,
                                 {alias, Record(EDnsType::kAaaa, "edge.example.net", "2001:db8::7", 59)})};
    CDnsNameReport www{"www.example.com", Answer(EPlatformError::kNotFound),
                       Answer(EPlatformError::kNotFound)};
    EXPECT_EQ(FormatDnsReport({domain, www}, {"127.0.0.1", "::1"}),
              "example.com：\r\n"
              "  CNAME example.com -> edge.example.net（TTL 300）\r\n"
              "  A 192.0.2.7（TTL 60）\r\n"
              "  A 192.0.2.8（TTL 60）\r\n"
              "  AAAA 2001:db8::7（TTL 59）\r\n"
              "www.example.com：\r\n"
              "  域名不存在\r\n"
              "系统使用的DNS服务器：127.0.0.1、::1\r\n");
}

TEST(DnsReportTest, SaysWhatIsMissing) {
    const struct {
        CDnsAnswer a, aaaa;
        const char* expected;
    } cases[] = {
        {Answer(EPlatformError::kNone), Answer(EPlatformError::kNone), "  没有A或AAAA记录\r\n"},
        {Answer(EPlatformError::kTimedOut), Answer(EPlatformError::kTimedOut),
         "  A记录查询失败：查询超时\r\n  AAAA记录查询失败：查询超时\r\n"},
        {Answer(EPlatformError::kNone, {Record(EDnsType::kA, "h.test", "10.0.0.1", 5)}),
         Answer(EPlatformError::kOther), "  A 10.0.0.1（TTL 5）\r\n  AAAA记录查询失败：查询失败\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatDnsReport({{"h.test", c.a, c.aaaa}}, {}).Bytes(),
                  std::string("h.test：\r\n") + c.expected + "系统使用的DNS服务器：未知\r\n");
    }
}

}  // namespace
