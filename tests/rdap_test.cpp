#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "probes/probe_context.h"
#include "probes/rdap_text.h"
#include "tests/test_support.h"

namespace {

const char kUrl[] = "https://rdap.example/domain/example.com";
const char kSource[] =
    "（whois服务器无应答，以下信息来自RDAP：https://rdap.example/domain/example.com）\r\n";

// A registrar answer as registrars send them: the registrar entity with its abuse
// contact inside, events, status and name servers.
const char kFullAnswer[] = R"({
  "objectClassName": "domain", "ldhName": "EXAMPLE.COM",
  "events": [
    {"eventAction": "registration", "eventDate": "1995-08-14T04:00:00Z"},
    {"eventAction": "expiration", "eventDate": "2026-08-13T04:00:00Z"},
    {"eventAction": "last changed", "eventDate": "2025-08-14T07:01:34Z"},
    {"eventAction": "last update of RDAP database", "eventDate": "2025-09-01T00:00:00Z"}],
  "status": ["client delete prohibited", "client transfer prohibited"],
  "nameservers": [{"objectClassName": "nameserver", "ldhName": "A.IANA-SERVERS.NET"},
                  {"objectClassName": "nameserver", "ldhName": "B.IANA-SERVERS.NET"}],
  "entities": [
    {"objectClassName": "entity", "roles": ["registrant"],
     "vcardArray": ["vcard", [["fn", {}, "text", "Not The Registrar"]]]},
    {"objectClassName": "entity", "roles": ["registrar"], "handle": "376",
     "vcardArray": ["vcard", [["version", {}, "text", "4.0"], ["fn", {}, "text", "RESERVED-Internet Assigned Numbers Authority"]]],
     "entities": [{"roles": ["abuse"], "vcardArray": ["vcard", [["version", {}, "text", "4.0"],
        ["email", {}, "text", "abuse@registrar.example"],
        ["tel", {"type": "voice"}, "uri", "tel:+1.3105551212"]]]}]}]
})";

struct LinesCase {
    const char* name;
    std::string json;
    std::string lines;  // after the source line
};

class RdapLines : public ::testing::TestWithParam<LinesCase> {};

TEST_P(RdapLines, FormatsTheFieldsPresentInOrder) {
    CRdapRecord record;
    ASSERT_EQ(ERdapParse::kOk, ParseRdapDomain(GetParam().json, &record));
    EXPECT_EQ(kSource + GetParam().lines, RdapRecordLines(record, kUrl).Bytes());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RdapLines,
    ::testing::Values(
        LinesCase{"Full", kFullAnswer,
                  "域名：EXAMPLE.COM\r\n"
                  "注册商：RESERVED-Internet Assigned Numbers Authority\r\n"
                  "注册日期：1995-08-14T04:00:00Z\r\n到期日期：2026-08-13T04:00:00Z\r\n"
                  "最后更新：2025-08-14T07:01:34Z\r\n"
                  "状态：client delete prohibited, client transfer prohibited\r\n"
                  "DNS服务器：A.IANA-SERVERS.NET\r\nDNS服务器：B.IANA-SERVERS.NET\r\n"
                  "注册商投诉邮箱：abuse@registrar.example\r\n注册商投诉电话：+1.3105551212\r\n"},
        LinesCase{"OnlyTheName", R"({"objectClassName":"domain","ldhName":"example.com"})",
                  "域名：example.com\r\n"},
        LinesCase{"UnicodeNameWhenNoLdhName",
                  R"({"objectClassName":"domain","unicodeName":"\u4f8b\u5b50.\u4e2d\u56fd"})",
                  "域名：例子.中国\r\n"},
        // A registrar without a name is named by its handle; abuse contacts outside it are
        // the registry's and not reported.
        LinesCase{"HandleAndNoOutsideAbuse",
                  R"({"objectClassName":"domain","entities":[
                     {"roles":["abuse"],"vcardArray":["vcard",[["email",{},"text","registry@x"]]]},
                     {"roles":["registrar"],"handle":"292"}]})",
                  "注册商：292\r\n"},
        // Line breaks and escapes in a field must not break the report's lines; characters
        // without a GBK form become "?".
        LinesCase{"ControlsAndCharactersOutsideGbk",
                  R"({"objectClassName":"domain","ldhName":"a.com\r\nStatus: forged\u001b[2J",
                      "entities":[{"roles":["registrar"],"vcardArray":["vcard",
                      [["fn",{},"text","\u963f\u91cc\u4e91 \ud83d\ude00 Inc."]]]}]})",
                  "域名：a.com  Status: forged [2J\r\n注册商：阿里云 ? Inc.\r\n"},
        // Members of the wrong type are passed over, not fatal.
        LinesCase{"WrongTypes",
                  R"({"objectClassName":"domain","ldhName":7,"status":"active","events":[1,
                      {"eventAction":"expiration","eventDate":20260101}],"nameservers":[{},"ns"],
                      "entities":{"roles":["registrar"]}})",
                  ""}),
    [](const ::testing::TestParamInfo<LinesCase>& param) { return std::string(param.param.name); });

TEST(RdapParse, TellsNonJsonFromJsonThatIsNoDomain) {
    const std::vector<std::pair<std::string, ERdapParse>> cases = {
        {"", ERdapParse::kNotJson},
        {"{\"objectClassName\":\"domain\"", ERdapParse::kNotJson},
        {"<html>502 Bad Gateway</html>", ERdapParse::kNotJson},
        {"{\"objectClassName\":\"domain\",\"ldhName\":\"\xff.com\"}", ERdapParse::kNotJson},
        {"[]", ERdapParse::kNotDomain},
        {"{\"errorCode\":404,\"title\":\"Not Found\"}", ERdapParse::kNotDomain},
        {"{\"objectClassName\":\"entity\"}", ERdapParse::kNotDomain},
        {"{\"objectClassName\":\"domain\"}", ERdapParse::kOk},
    };
    for (const auto& item : cases) {
        CRdapRecord record;
        EXPECT_EQ(item.second, ParseRdapDomain(item.first, &record)) << item.first;
    }
}

TEST(RdapParse, FollowsOnlyARelatedLinkToRdapJson) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"([{"rel":"self","href":"https://r/self","type":"application/rdap+json"},
             {"rel":"related","href":"https://registrar/domain/a.com","type":"application/rdap+json"}])",
         "https://registrar/domain/a.com"},
        {R"([{"rel":"related","href":"https://registrar/whois.html","type":"text/html"},
             {"rel":"related","href":"http://registrar/domain/a.com"}])",
         "http://registrar/domain/a.com"},
        {R"([{"rel":"related","href":"ftp://registrar/a"},{"rel":"related"},
             {"rel":"alternate","href":"https://other/"}])",
         ""},
    };
    for (const auto& item : cases) {
        CRdapRecord record;
        ASSERT_EQ(ERdapParse::kOk,
                  ParseRdapDomain("{\"objectClassName\":\"domain\",\"links\":" + item.first + "}",
                                  &record));
        EXPECT_EQ(item.second, record.relatedUrl) << item.first;
    }
}

TEST(RdapParse, AnAnswerTooDeepOrWithTooManyValuesIsRefusedUnbuilt) {
    const std::string domainHead = "{\"objectClassName\":\"domain\",\"x\":";
    std::string manyValues = domainHead + "[";
    for (long i = 0; i < kRdapMaxJsonValues; ++i) manyValues += "0,";
    manyValues += "0]}";
    const std::vector<std::pair<std::string, ERdapParse>> cases = {
        {std::string(1 << 20, '['), ERdapParse::kTooComplex},
        {domainHead + std::string(kRdapMaxJsonDepth, '[') + std::string(kRdapMaxJsonDepth, ']') + "}",
         ERdapParse::kTooComplex},
        {domainHead + std::string(kRdapMaxJsonDepth - 1, '[') +
             std::string(kRdapMaxJsonDepth - 1, ']') + "}",
         ERdapParse::kOk},
        {manyValues, ERdapParse::kTooComplex},
        // Malformed past the limit is still too complex: nothing is built either way.
        {std::string(100, '[') + "x", ERdapParse::kTooComplex},
        {std::string(10, '[') + "x", ERdapParse::kNotJson},
    };
    for (const auto& item : cases) {
        CRdapRecord record;
        EXPECT_EQ(item.second, ParseRdapDomain(item.first, &record)) << item.first.substr(0, 80);
    }
}

TEST(RdapLinks, OnlyAPrintableHttpsLinkIsFollowed) {
    const struct {
        std::string url;
        bool followed;
        bool followedInTests;
    } cases[] = {
        {"https://rdap.registrar.example/domain/a.com", true, true},
        {"HTTPS://rdap.registrar.example/", false, false},
        {"http://rdap.registrar.example/domain/a.com", false, true},
        {"https://127.0.0.1/domain/a.com", true, true},  // the address is the HTTP layer's check
        {"ftp://rdap.registrar.example/", false, false},
        {"https://r.example/a\r\nForged: line", false, false},
        {std::string("https://r.example/a\0b", 21), false, false},
        {"https://r.example/\x1b[2J", false, false},
        {"https://r.example/a b", false, false},
        {"https://r.example/\xe4\xbe\x8b", false, false},
        {"https://r.example/" + std::string(kRdapMaxLinkBytes, 'a'), false, false},
        {"", false, false},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(item.followed, MayFollowRdapLink(item.url, false)) << item.url;
        EXPECT_EQ(item.followedInTests, MayFollowRdapLink(item.url, true)) << item.url;
    }
}

TEST(RdapLines, TheSourceAddressCannotForgeReportLines) {
    CRdapRecord record;
    record.domain = "a.com";
    static const char kLink[] = "https://r.example/x\r\n\xd3\xf2" "forged\x1b[2J\0end\x7f ";
    const std::string url(kLink, sizeof kLink - 1);
    EXPECT_EQ("（whois服务器无应答，以下信息来自RDAP：https://r.example/x%0D%0A%D3%F2"
              "forged%1B[2J%00end%7F%20）\r\n域名：a.com\r\n",
              RdapRecordLines(record, CString(url)).Bytes());
}

TEST(RdapParse, TheRegistrarAnswerTakesWhatItLacksFromTheRegistry) {
    CRdapRecord registry;
    ASSERT_EQ(ERdapParse::kOk, ParseRdapDomain(kFullAnswer, &registry));
    CRdapRecord registrar;
    ASSERT_EQ(ERdapParse::kOk,
              ParseRdapDomain(R"({"objectClassName":"domain","ldhName":"example.com",
                                  "status":["active"]})",
                              &registrar));
    FillRdapGaps(&registrar, registry);
    EXPECT_EQ("example.com", registrar.domain);
    EXPECT_EQ(std::vector<std::string>{"active"}, registrar.status);
    EXPECT_EQ("2026-08-13T04:00:00Z", registrar.expires);
    EXPECT_EQ(registry.nameservers, registrar.nameservers);
    EXPECT_EQ("abuse@registrar.example", registrar.abuseEmail);
}

}  // namespace
