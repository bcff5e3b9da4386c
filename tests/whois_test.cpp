#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "probes/whois_lookup.h"
#include "platform/stop_signal.h"
#include "probes/whois_text.h"
#include "tests/test_support.h"

using namespace std::string_literals;

namespace {

const char kConnectFailed[] = "无法连接whois服务器127.0.0.4：连接被拒绝\r\n";
const char kDomainIncomplete[] = "域名不完整，无法查询whois信息\r\n";
const char kEmptyHostUnresolved[] = "无法解析的主机IP\r\n";

// How a server answers one connection, after it has read the query line.
using Reply = std::function<void(CServerConnection&)>;

Reply Text(const std::string& bytes) {
    return [bytes](CServerConnection& c) { c.Send(bytes); };
}

// Accepts and closes without sending a byte.
Reply Nothing() {
    return [](CServerConnection&) {};
}

Reply Silent() {
    return [](CServerConnection& c) { c.HoldUntilStopped(); };
}

Reply ThenSilent(const std::string& bytes) {
    return [bytes](CServerConnection& c) {
        c.Send(bytes);
        c.HoldUntilStopped();
    };
}

// Sends the pieces with pauses between them, so each arrives as a block of its own.
Reply Blocks(const std::vector<std::string>& pieces) {
    return [pieces](CServerConnection& c) {
        for (const std::string& piece : pieces) {
            c.Send(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    };
}

// Repeats the text until the client goes away.
Reply Endless(const std::string& chunk, int pauseMs) {
    return [chunk, pauseMs](CServerConnection& c) {
        while (!c.Stopping() && c.TrySend(chunk)) {
            if (pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
    };
}

// A whois server on one loopback address: records the query of each connection and
// answers the connections in turn from its script; connections past the script's end
// are closed without a byte.
class CWhoisServer {
public:
    CWhoisServer(const char* address, int port)
        : m_server([this](CServerConnection& c) { Serve(c); }, address, port) {}

    // Also forgets the queries received so far.
    void Script(std::vector<Reply> replies) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_replies = std::move(replies);
        m_next = 0;
        m_queries.clear();
    }
    std::vector<std::string> Queries() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_queries;
    }
    // For clients that give up before the server has taken their connection.
    std::vector<std::string> WaitForQueries(size_t count) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Queries().size() < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return Queries();
    }
    int Port() const { return m_server.Port(); }

private:
    void Serve(CServerConnection& c) {
        const std::string query = c.ReadUntil("\r\n");
        Reply reply;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_queries.push_back(query);
            if (m_next < m_replies.size()) reply = m_replies[m_next++];
        }
        if (reply) reply(c);
    }

    mutable std::mutex m_lock;
    std::vector<std::string> m_queries;
    std::vector<Reply> m_replies;
    size_t m_next = 0;
    CLoopbackServer m_server;  // last: its thread stops before the members above go
};

using Queries = std::vector<std::string>;

// Three whois servers sharing one port: the registry on 127.0.0.1 (the "=" host, row
// for com and net), a registrar on 127.0.0.2 (row for 中国) and the substitute host of
// a retired registrar on 127.0.0.3. Nothing listens on 127.0.0.4.
class WhoisLookup : public ::testing::Test {
protected:
    WhoisLookup()
        : m_registry("127.0.0.1", 0),
          m_registrar("127.0.0.2", m_registry.Port()),
          m_substitute("127.0.0.3", m_registry.Port()) {
        m_endpoints.whoisRows = {{"com", "127.0.0.1"},
                                 {"net", " 127.0.0.1 "},
                                 {"中国", "127.0.0.2"},
                                 {"org", "127.0.0.4"}};
        m_endpoints.whoisEqualsPrefixHost = "127.0.0.1";
        m_endpoints.referralFrom = "whois.retired-registrar.test";
        m_endpoints.referralTo = "127.0.0.3";
        m_endpoints.whoisPort = m_registry.Port();
        m_endpoints.whoisLimits.connectMs = 3000;
        m_endpoints.whoisLimits.silenceMs = 3000;
        m_endpoints.whoisLimits.queryMs = 10000;
    }

    // Runs the step as the check sequence does and keeps what it leaves behind.
    int Lookup(const CString& domain, CStopSignal* stop = nullptr) {
        CWhoisServerTable servers(m_endpoints);
        const CStepOutcome outcome = LookupWhois(CProbeContext(m_endpoints, stop), domain, &servers);
        m_tableSize = servers.Size();
        m_comUpper = servers.Holds("COM") ? 1 : 0;
        m_result = outcome.ok ? outcome.text.Bytes() : std::string();
        m_error = outcome.ok ? std::string() : outcome.text.Bytes();
        return outcome.ok ? 1 : 0;
    }

    static int Seconds(std::chrono::steady_clock::time_point since) {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::steady_clock::now() - since)
                                    .count());
    }

    // The three servers, by the last byte of their address.
    CWhoisServer& Server(int lastByte) {
        return lastByte == 1 ? m_registry : lastByte == 2 ? m_registrar : m_substitute;
    }

    CWhoisServer m_registry;
    CWhoisServer m_registrar;
    CWhoisServer m_substitute;
    CProbeEndpoints m_endpoints;
    size_t m_tableSize = 0;
    int m_comUpper = 0;
    std::string m_result;
    std::string m_error;
};

}  // namespace

// ---- The query line ----

// Without a referral the same query goes to the table's server twice; the second
// answer is the record. CR LF from the server becomes CR CR LF.
TEST_F(WhoisLookup, QueryLineAndServerFollowFromTheDomain) {
    const struct {
        const char* why;
        const char* domain;
        int server;  // last byte of the server's address
        const char* query;
    } cases[] = {
        {"the registry host gets '=' and the last two labels", "www.example.com", 1,
         "=example.com\r\n"},
        {"only the last two labels", "x.y.cn.com", 1, "=cn.com\r\n"},
        {"empty labels are kept", "x..com", 1, "=.com\r\n"},
        {"Chinese labels go as their own bytes, without prefix", "例子.中国", 2, "例子.中国\r\n"},
        {"a table host with spaces is trimmed before the prefix comparison", "example.net", 1,
         "=example.net\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        for (int lastByte : {1, 2, 3}) Server(lastByte).Script({});
        Server(c.server).Script(
            {Text("first answer\r\n"), Text("Domain: EXAMPLE.COM\r\nStatus: ok\r\n")});
        ASSERT_EQ(1, Lookup(c.domain));
        for (int lastByte : {1, 2, 3}) {
            const Queries expected = lastByte == c.server ? Queries{c.query, c.query} : Queries{};
            EXPECT_EQ(expected, Server(lastByte).Queries()) << "server 127.0.0." << lastByte;
        }
        EXPECT_EQ("Domain: EXAMPLE.COM\r\r\nStatus: ok\r\r\n", m_result);
        EXPECT_EQ("", m_error);
    }
}

// Domains whose row or query cannot be used fail before any query is sent.
TEST_F(WhoisLookup, DomainsWithoutAUsableRowOrQueryFail) {
    m_endpoints.whoisRows.push_back({"dotless", "127.0.0.1"});
    const struct {
        const char* domain;
        const char* error;
    } cases[] = {
        // Fewer than two labels: the connection is made, released, and carries no byte.
        {"com", kDomainIncomplete},
        {".com", kDomainIncomplete},
        {"dotless", kDomainIncomplete},
        // Keys without a row: the table's empty host cannot be resolved.
        {"example.COM", kEmptyHostUnresolved},
        {"example.com.", kEmptyHostUnresolved},
        {"example.com/index", kEmptyHostUnresolved},
        // Nothing listens on the row's host.
        {"example.org", kConnectFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.domain);
        EXPECT_EQ(0, Lookup(c.domain));
        EXPECT_EQ(c.error, m_error);
        EXPECT_EQ("", m_result);
    }
    EXPECT_EQ((Queries{"", "", ""}), m_registry.WaitForQueries(3));
}

// The lookup indexes its table with the key, so an unknown key becomes a new empty row.
TEST_F(WhoisLookup, UpperCaseKeyIsANewEmptyRowAndFailsAtResolution) {
    ASSERT_EQ(0, Lookup("example.COM"));
    EXPECT_EQ(1, m_comUpper);
    EXPECT_EQ(m_endpoints.whoisRows.size() + 1, m_tableSize);
    EXPECT_EQ(kEmptyHostUnresolved, m_error);
    EXPECT_TRUE(m_registry.Queries().empty());
}

// ---- The referral ----

// Where the second query goes, and what it says, for each first answer of the registry
// (127.0.0.1). The record is whatever that second server answers.
TEST_F(WhoisLookup, FirstAnswerDecidesWhereTheSecondQueryGoes) {
    const struct {
        const char* answer;
        int server;  // last byte of the second server's address
        const char* query;
    } cases[] = {
        // Referral lines in their usual forms; the registrar is not the registry host: no "=".
        {"Domain: x\nWhois Server: 127.0.0.2\nStatus: ok\n", 2, "example.com\r\n"},
        {"Domain: x\r\n   Whois Server:127.0.0.2  \r\nStatus: ok\r\n", 2, "example.com\r\n"},
        {"Domain: x\r\n   Registrar WHOIS Server: no\r\n   Registrar Whois Server: 127.0.0.2\r\n",
         2, "example.com\r\n"},
        {"Whois Server:\t127.0.0.2\t\r\n", 2, "example.com\r\n"},
        {"Domain: x\nWhois Server: 127.0.0.2", 2, "example.com\r\n"},
        {"\r\n\r\n   Whois Server: 127.0.0.2\r\n\r\n", 2, "example.com\r\n"},
        // The first referral line wins.
        {"Whois Server: 127.0.0.2\nWhois Server: 127.0.0.3\n", 2, "example.com\r\n"},
        // The marker in another letter case is no referral: the registry is asked again.
        {"WHOIS SERVER: 127.0.0.2\nwhois server: 127.0.0.2\n", 1, "=example.com\r\n"},
        // A retired registrar is queried at its substitute.
        {"Registrar Whois Server: whois.retired-registrar.test\r\n", 3, "example.com\r\n"},
        // A referral naming the registry host gets the prefix again, an alias does not.
        {"Whois Server: 127.0.0.1\n", 1, "=example.com\r\n"},
        {"Whois Server: localhost\n", 1, "example.com\r\n"},
    };
    const char* const records[] = {"", "registry record\n", "registrar record\n",
                                   "substitute record\n"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        m_registry.Script({Text(c.answer), Text(records[1])});
        m_registrar.Script({Text(records[2])});
        m_substitute.Script({Text(records[3])});
        ASSERT_EQ(1, Lookup("www.example.com"));
        EXPECT_EQ(LineFeedsToCrLf(records[c.server]).Bytes(), m_result);
        for (int lastByte : {1, 2, 3}) {
            Queries expected;
            if (lastByte == 1) expected.push_back("=example.com\r\n");
            if (lastByte == c.server) expected.push_back(c.query);
            EXPECT_EQ(expected, Server(lastByte).Queries()) << "server 127.0.0." << lastByte;
        }
    }
}

TEST_F(WhoisLookup, ReferralStartsAfterTheFirstColonOfItsLine) {
    // The referral is "Whois Server: 127.0.0.2", which this test's substitution pair
    // sends to 127.0.0.3; taking the text after the marker would reach 127.0.0.2.
    m_endpoints.referralFrom = "Whois Server: 127.0.0.2";
    m_registry.Script({Text("Note: Whois Server: 127.0.0.2 \n")});
    m_substitute.Script({Text("substitute\n")});
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_EQ("substitute\r\n", m_result);
    EXPECT_EQ((Queries{"example.com\r\n"}), m_substitute.Queries());
    EXPECT_TRUE(m_registrar.Queries().empty());
}

TEST_F(WhoisLookup, EmptyReferralSendsTheSecondQueryToTheEmptyName) {
    m_registry.Script({Text("Whois Server:   \r\nmore\r\n")});
    m_endpoints.whoisRows.push_back({"", "127.0.0.2"});  // an empty key must not matter
    ASSERT_EQ(0, Lookup("example.com"));
    EXPECT_EQ(kEmptyHostUnresolved, m_error);
    EXPECT_EQ("", m_result);
    EXPECT_EQ(1u, m_registry.Queries().size());
    EXPECT_TRUE(m_registrar.Queries().empty());
}

// ---- Answers ----

TEST_F(WhoisLookup, BareLineFeedsBecomeCrLfAndTheSecondAnswerIsNotTrimmed) {
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({Text("\n  Domain: x\n\nEnd\n\n")});
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_EQ("\r\n  Domain: x\r\n\r\nEnd\r\n\r\n", m_result);
}

TEST_F(WhoisLookup, WhiteSpaceOnlyFirstAnswerRepeatsTheQuery) {
    m_registry.Script({Text(" \r\n\t\r\n"), Text("record\n")});
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_EQ(2u, m_registry.Queries().size());
    EXPECT_EQ("record\r\n", m_result);
}

TEST_F(WhoisLookup, WhiteSpaceOnlySecondAnswerIsASuccessKeptAsSent) {
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({Text(" \n\t\n")});
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_EQ(" \r\n\t\r\n", m_result);
}

TEST_F(WhoisLookup, CloseWithoutAByteFailsNamingTheServer) {
    m_registry.Script({Nothing()});
    EXPECT_EQ(0, Lookup("example.com"));
    EXPECT_EQ("whois服务器127.0.0.1没有返回任何数据\r\n", m_error);
    EXPECT_EQ(1u, m_registry.Queries().size());

    // In the second query the first answer is discarded.
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({Nothing()});
    EXPECT_EQ(0, Lookup("example.com"));
    EXPECT_EQ("whois服务器127.0.0.2没有返回任何数据\r\n", m_error);
    EXPECT_EQ("", m_result);
    EXPECT_EQ(1u, m_registrar.Queries().size());
}

TEST_F(WhoisLookup, NulCutsItsOwnBlockOnly) {
    m_registry.Script(
        {Blocks({"Domain\0Whois Server: 127.0.0.3\n"s, "Whois Server: 127.0.0.2\n"})});
    m_registrar.Script({Blocks({"abc\0def"s, "ghi\n", "\0"s, "end\n"})});
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_TRUE(m_substitute.Queries().empty());
    EXPECT_EQ("abcghi\r\nend\r\n", m_result);
}

TEST_F(WhoisLookup, AnswerOfNulsOnlyCountsAsEmpty) {
    m_registry.Script({Text("\0\0\0"s)});
    EXPECT_EQ(0, Lookup("example.com"));
    EXPECT_EQ("whois服务器127.0.0.1没有返回任何数据\r\n", m_error);
}

// ---- Bounded waits ----

TEST_F(WhoisLookup, SilentServerFailsWithinTheSilenceLimit) {
    m_endpoints.whoisLimits.silenceMs = 300;
    m_registry.Script({Silent()});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Lookup("example.com"));
    EXPECT_LT(Seconds(start), 3);
    EXPECT_EQ("whois服务器127.0.0.1在1秒内没有返回任何数据\r\n", m_error);
    EXPECT_EQ((Queries{"=example.com\r\n"}), m_registry.Queries());
}

TEST_F(WhoisLookup, AnswerThatStopsMidwayIsKeptWithANotice) {
    m_endpoints.whoisLimits.silenceMs = 300;
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({ThenSilent("Domain: x\nStatus")});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_LT(Seconds(start), 3);
    EXPECT_EQ(
        "Domain: x\r\nStatus\r\n（whois服务器0秒没有发送数据，已停止接收，以上应答可能不完整）\r\n",
        m_result);
}

TEST_F(WhoisLookup, AnswerThatNeverEndsIsCutAtTheQueryLimit) {
    m_endpoints.whoisLimits.silenceMs = 500;
    m_endpoints.whoisLimits.queryMs = 1000;
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({Endless("line\n", 50)});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(1, Lookup("example.com"));
    EXPECT_LT(Seconds(start), 4);
    const std::string notice =
        "\r\n（whois应答超过1秒仍未结束，已停止接收，以上应答可能不完整）\r\n";
    ASSERT_GT(m_result.size(), notice.size());
    EXPECT_EQ(0u, m_result.find("line\r\nline\r\n"));
    EXPECT_EQ(notice, m_result.substr(m_result.size() - notice.size()));
}

TEST_F(WhoisLookup, EndlessAnswerKeepsTheFirstMebibyte) {
    std::string chunk;
    for (int i = 0; i < 100; ++i)
        chunk += "0123456789" + std::to_string(i % 10) + "\n";  // 12-byte lines
    m_registry.Script({Text("Whois Server: 127.0.0.2\n")});
    m_registrar.Script({Endless(chunk, 0)});
    ASSERT_EQ(1, Lookup("example.com"));
    std::string expected;
    while (expected.size() < 1024u * 1024u) expected += chunk;
    expected.resize(1024u * 1024u);
    const CString kept = LineFeedsToCrLf(CString(expected));
    EXPECT_EQ(kept.Bytes() + "\r\n（whois应答超过1MB，其余部分已省略）\r\n", m_result);
}

TEST_F(WhoisLookup, StopSignalEndsAWaitingQueryPromptly) {
    m_endpoints.whoisLimits.silenceMs = 20000;
    m_registry.Script({Silent()});
    CStopSignal stop;
    std::thread raiser([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.Raise();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Lookup("example.com", &stop));
    raiser.join();
    EXPECT_LT(Seconds(start), 3);
}

// ---- Text rules ----

TEST(WhoisText, ReferralScanIsMultibyteAwareAndTakesTheRestOfTheLine) {
    CString referral;
    // "W" here is the second byte of a double-byte character, so no marker starts there.
    EXPECT_FALSE(FindWhoisReferral("\x81Whois Server: a\n", &referral));
    EXPECT_TRUE(FindWhoisReferral("x\n\x81xWhois Server: a:43 \r\nnext\n", &referral));
    EXPECT_EQ(CString(" a:43 \r"), referral);
}

TEST(WhoisText, LineFeedAfterAByteThatLooksLikeALeadByteStillBecomesCrLf) {
    // UTF-8 "中" (E4 B8 AD) ends in a byte that GBK takes for a lead byte.
    EXPECT_EQ(CString("\xE4\xB8\xAD\r\nnext\r\r\n"), LineFeedsToCrLf("\xE4\xB8\xAD\nnext\r\n"));
}

TEST(WhoisText, CutNeverSplitsADoubleByteCharacter) {
    EXPECT_EQ(2, CharBoundaryPrefix("ab\xC4\xE3z", 3));  // would split 你
    EXPECT_EQ(4, CharBoundaryPrefix("ab\xC4\xE3z", 4));
    EXPECT_EQ(5, CharBoundaryPrefix("ab\xC4\xE3z", 9));
    EXPECT_EQ(2, CharBoundaryPrefix("a\xC4", 2));  // a lone lead byte at the end is one byte
}
