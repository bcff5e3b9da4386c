// Step 1 through RDAP over loopback HTTP: the whois servers fail in each way that leads
// there, the RDAP server answers or fails in each way the step must name. (TLS is the
// HTTP layer's business; the end-to-end check covers it with real certificates.)
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "probes/whois_lookup.h"
#include "tests/test_support.h"

namespace {

const char kConnectFailed[] = "无法连接whois服务器127.0.0.1：连接被拒绝\r\n";
const char kRefusedPort[] = "1";  // nothing listens on port 1 of loopback

const char kRegistryJson[] = R"({"objectClassName":"domain","ldhName":"EXAMPLE.COM",
  "events":[{"eventAction":"expiration","eventDate":"2026-08-13T04:00:00Z"}],
  "nameservers":[{"ldhName":"NS1.EXAMPLE.NET"}],
  "links":[{"rel":"related","type":"application/rdap+json","href":"%REGISTRAR%"}]})";
const char kRegistrarJson[] = R"({"objectClassName":"domain","ldhName":"example.com",
  "entities":[{"roles":["registrar"],"vcardArray":["vcard",[["fn",{},"text","Example Registrar"]]]}]})";

std::string Response(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/rdap+json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// An RDAP server on 127.0.0.1 that answers by the requested path's domain.
class CRdapServer {
public:
    CRdapServer() : m_server([this](CServerConnection& c) { Serve(c); }) {}

    int Port() const { return m_server.Port(); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_server.Port()) + "/"; }
    std::vector<std::string> Paths() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_paths;
    }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_requests;
    }

private:
    void Serve(CServerConnection& c) {
        const std::string request = c.ReadUntil("\r\n\r\n");
        const size_t start = request.find(' ') + 1;
        const std::string path = request.substr(start, request.find(' ', start) - start);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_paths.push_back(path);
            m_requests.push_back(request);
        }
        Answer(c, path);
    }

    void Answer(CServerConnection& c, const std::string& path) {
        std::string registry = kRegistryJson;
        if (path == "/domain/example.com" || path == "/domain/badlink.com") {
            const std::string target = path == "/domain/example.com" ? "registrar" : "missing";
            registry.replace(registry.find("%REGISTRAR%"), 11, Base() + target + path);
            c.Send(Response("200 OK", registry));
        } else if (path.compare(0, 13, "/domain/link-") == 0) {
            c.Send(Response("200 OK", RegistryLinkingTo(path.substr(13, path.find('.') - 13))));
        } else if (path == "/registrar/domain/example.com") {
            c.Send(Response("200 OK", kRegistrarJson));
        } else if (path == "/domain/broken.com") {
            c.Send(Response("200 OK", "{\"objectClassName\":\"domain\","));
        } else if (path == "/domain/silent.com") {
            c.HoldUntilStopped();
        } else if (path == "/domain/huge.com") {
            SendHuge(c);
        } else {
            c.Send(Response("404 Not Found", "{\"errorCode\":404}"));
        }
    }

    // A registry answer whose related link a hostile registry chose, by its name.
    std::string RegistryLinkingTo(const std::string& name) const {
        const std::string port = std::to_string(m_server.Port());
        std::string link = "https://127.0.0.1:" + port + "/registrar/domain/example.com";
        if (name == "plain") link = "http://127.0.0.1:" + port + "/registrar/domain/example.com";
        if (name == "named") link = "https://localhost:" + port + "/registrar/domain/example.com";
        if (name == "mapped") link = "https://[::ffff:127.0.0.1]:" + port + "/x";
        if (name == "forged") link = "https://r.example/x\\r\\nForged\\u0000\\u001b[2J";
        std::string registry = kRegistryJson;
        return registry.replace(registry.find("%REGISTRAR%"), 11, link);
    }

    // 20 MiB of one JSON string, or less if the client goes away first.
    static void SendHuge(CServerConnection& c) {
        const std::string chunk(64 * 1024, 'x');
        std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(20 << 20) +
                           "\r\nConnection: close\r\n\r\n{\"objectClassName\":\"domain\",\"x\":\"";
        if (!c.TrySend(head)) return;
        for (int sent = 0; sent < 320 && !c.Stopping(); ++sent) {
            if (!c.TrySend(chunk)) return;
        }
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_paths;
    std::vector<std::string> m_requests;
    CLoopbackServer m_server;  // last: its thread stops before the members above go
};

class RdapFallback : public ::testing::Test {
protected:
    RdapFallback() {
        EnsureNetworking();
        m_endpoints.whoisRows = {{"com", "127.0.0.1"}, {"cn", "127.0.0.1"}};
        m_endpoints.whoisPort = std::stoi(kRefusedPort);
        m_endpoints.whoisLimits.connectMs = 2000;
        m_endpoints.whoisLimits.silenceMs = 1000;
        m_endpoints.whoisLimits.queryMs = 3000;
        m_endpoints.rdapRows = {{"com", CString(m_rdap.Base())}};
        m_endpoints.rdapLocalLinksAllowed = true;
        m_endpoints.httpLimits.connectMs = 2000;
        m_endpoints.httpLimits.silenceMs = 1000;
        m_endpoints.httpLimits.totalMs = 3000;
    }

    int Lookup(const CString& domain) {
        const CStepOutcome outcome = LookupWhois(CProbeContext(m_endpoints), domain);
        m_result = outcome.ok ? outcome.text.Bytes() : std::string();
        m_error = outcome.ok ? std::string() : outcome.text.Bytes();
        return outcome.ok ? 1 : 0;
    }

    CRdapServer m_rdap;
    CProbeEndpoints m_endpoints;
    std::string m_result;
    std::string m_error;
};

TEST_F(RdapFallback, ARefusedWhoisServerGivesTheRegistrarsRdapRecord) {
    ASSERT_EQ(1, Lookup("www.Example.com"));
    EXPECT_EQ("（whois服务器无应答，以下信息来自RDAP：" + m_rdap.Base() +
                  "registrar/domain/example.com）\r\n"
                  "域名：example.com\r\n注册商：Example Registrar\r\n"
                  "到期日期：2026-08-13T04:00:00Z\r\nDNS服务器：NS1.EXAMPLE.NET\r\n",
              m_result);
    EXPECT_EQ("", m_error);
    EXPECT_EQ((std::vector<std::string>{"/domain/example.com", "/registrar/domain/example.com"}),
              m_rdap.Paths());
    // Both ask for RDAP's own media type, once.
    for (const std::string& request : m_rdap.Requests()) {
        std::string lower = request;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const size_t at = lower.find("\r\naccept: application/rdap+json\r\n");
        EXPECT_NE(std::string::npos, at) << request;
        EXPECT_EQ(std::string::npos, lower.find("\r\naccept:", at + 1)) << request;
    }
}

TEST_F(RdapFallback, AFailedRegistrarLinkLeavesTheRegistryRecordAndSaysWhy) {
    ASSERT_EQ(1, Lookup("badlink.com"));
    const std::string url = m_rdap.Base() + "domain/badlink.com";
    EXPECT_EQ(
        "（whois服务器无应答，以下信息来自RDAP：" + url +
            "）\r\n"
            "域名：EXAMPLE.COM\r\n到期日期：2026-08-13T04:00:00Z\r\nDNS服务器：NS1.EXAMPLE.NET\r\n"
            "（未能取得注册商的RDAP信息：RDAP中未找到该域名）\r\n",
        m_result);
}

struct FailureCase {
    const char* domain;
    const char* rdapReason;  // "%URL%" stands for the address asked
};

class RdapFailure : public RdapFallback, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RdapFailure, TheStepGivesBothReasons) {
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(0, Lookup(GetParam().domain));
    std::string reason = GetParam().rdapReason;
    const size_t mark = reason.find("%URL%");
    if (mark != std::string::npos) {
        reason.replace(mark, 5, m_rdap.Base() + "domain/" + GetParam().domain);
    }
    EXPECT_EQ(kConnectFailed + reason, m_error);
    EXPECT_EQ("", m_result);
    // Whois connect refused at once; the RDAP exchange within its 3 s bound.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RdapFailure,
    ::testing::Values(FailureCase{"notfound.com", "RDAP中未找到该域名\r\n"},
                      FailureCase{"broken.com", "RDAP服务器%URL%的应答不是有效的JSON\r\n"},
                      FailureCase{"huge.com", "RDAP服务器%URL%的应答超过1MB，已停止接收\r\n"},
                      FailureCase{"silent.com", "RDAP服务器%URL%无法访问：已连接到127.0.0.1，但1秒内没有应答\r\n"}));

TEST_F(RdapFallback, WithoutAnRdapServiceOnlyTheWhoisReasonIsGiven) {
    EXPECT_EQ(0, Lookup("example.cn"));
    EXPECT_EQ(kConnectFailed, m_error);
    EXPECT_TRUE(m_rdap.Paths().empty());
}

// How a whois server on 127.0.0.2 treats each connection.
enum class EWhois { kAnswers, kSilent, kClosesAtOnce, kAnswersWithDeadReferral };

class RdapAfterWhois : public RdapFallback, public ::testing::WithParamInterface<EWhois> {
protected:
    RdapAfterWhois()
        : m_whois(
              [](CServerConnection& c) {
                  c.ReadUntil("\r\n");
                  switch (GetParam()) {
                      case EWhois::kAnswers:
                          return c.Send("Domain Name: EXAMPLE.COM\n");
                      case EWhois::kSilent:
                          return c.HoldUntilStopped();
                      case EWhois::kClosesAtOnce:
                          return;
                      case EWhois::kAnswersWithDeadReferral:
                          return c.Send("Whois Server: 127.0.0.3\n");
                  }
              },
              "127.0.0.2") {
        m_endpoints.whoisRows = {{"com", "127.0.0.2"}};
        m_endpoints.whoisPort = m_whois.Port();
    }

    CLoopbackServer m_whois;
};

TEST_P(RdapAfterWhois, RdapIsAskedOnlyWhenWhoisGaveNoAnswer) {
    const bool whoisAnswers = GetParam() == EWhois::kAnswers;
    ASSERT_EQ(1, Lookup("example.com"));
    if (whoisAnswers) {
        EXPECT_EQ("Domain Name: EXAMPLE.COM\r\n", m_result);
        EXPECT_TRUE(m_rdap.Paths().empty());
    } else {
        EXPECT_EQ(0u, m_result.find("（whois服务器无应答，以下信息来自RDAP：")) << m_result;
        EXPECT_EQ(2u, m_rdap.Paths().size());
    }
}

INSTANTIATE_TEST_SUITE_P(Whois, RdapAfterWhois,
                         ::testing::Values(EWhois::kAnswers, EWhois::kSilent, EWhois::kClosesAtOnce,
                                           EWhois::kAnswersWithDeadReferral));

struct LinkCase {
    const char* name;
    const char* registrarReason;  // "%PORT%" stands for the server's port
};

// As the shipped program runs: related links are held to https and public addresses.
class RdapHostileLink : public RdapFallback, public ::testing::WithParamInterface<LinkCase> {
protected:
    RdapHostileLink() { m_endpoints.rdapLocalLinksAllowed = false; }
};

TEST_P(RdapHostileLink, TheRegistryRecordStandsAndTheLinkIsNotFollowed) {
    const std::string domain = std::string("link-") + GetParam().name + ".com";
    ASSERT_EQ(1, Lookup(CString(domain)));
    std::string reason = GetParam().registrarReason;
    const size_t mark = reason.find("%PORT%");
    if (mark != std::string::npos) reason.replace(mark, 6, std::to_string(m_rdap.Port()));
    EXPECT_EQ("（whois服务器无应答，以下信息来自RDAP：" + m_rdap.Base() + "domain/" + domain +
                  "）\r\n域名：EXAMPLE.COM\r\n到期日期：2026-08-13T04:00:00Z\r\n"
                  "DNS服务器：NS1.EXAMPLE.NET\r\n（未能取得注册商的RDAP信息：" + reason + "）\r\n",
              m_result);
    EXPECT_EQ(std::vector<std::string>{"/domain/" + domain}, m_rdap.Paths());
}

INSTANTIATE_TEST_SUITE_P(
    Links, RdapHostileLink,
    ::testing::Values(
        LinkCase{"plain",
                 "RDAP服务器http://127.0.0.1:%PORT%/registrar/domain/example.com不是https地址，未访问"},
        LinkCase{"loopback", "RDAP服务器https://127.0.0.1:%PORT%/registrar/domain/example.com无法访问：目标不是公网上的https地址，已拒绝访问"},
        LinkCase{"named", "RDAP服务器https://localhost:%PORT%/registrar/domain/example.com无法访问：目标不是公网上的https地址，已拒绝访问"},
        LinkCase{"mapped", "RDAP服务器https://[::ffff:127.0.0.1]:%PORT%/x无法访问：目标不是公网上的https地址，已拒绝访问"},
        LinkCase{"forged",
                 "RDAP服务器https://r.example/x%0D%0AForged%00%1B[2J不是https地址，未访问"}),
    [](const ::testing::TestParamInfo<LinkCase>& param) { return std::string(param.param.name); });

}  // namespace

namespace {

// The shipped endpoints over TLS, for tests/e2e/rdap_check.sh, which runs this test in a
// namespace whose hosts file sends the registry's whois and RDAP names to its loopback
// peers, trusts its test CA, and passes the domain (example.com unless named) and the
// expected step text as hex.
std::string ExpectedFromEnvironment() {
    const char* hex = std::getenv("TOLLVANE_RDAP_EXPECTED_HEX");
    std::string text;
    for (size_t i = 0; hex && hex[i] && hex[i + 1]; i += 2) {
        text += static_cast<char>(std::stoi(std::string(hex + i, 2), nullptr, 16));
    }
    return text;
}

TEST(RdapOverTls, TheShippedSnapshotLeadsToTheRegistrarsRecord) {
    const std::string expected = ExpectedFromEnvironment();
    if (expected.empty()) GTEST_SKIP() << "run by tests/e2e/rdap_check.sh";
    EnsureNetworking();
    CProbeEndpoints endpoints = DefaultEndpoints();
    endpoints.whoisLimits.queryMs = 5000;
    const char* domain = std::getenv("TOLLVANE_RDAP_DOMAIN");
    const CStepOutcome outcome = LookupWhois(CProbeContext(endpoints), domain ? domain : "example.com");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(expected, outcome.text.Bytes());
}

}  // namespace
