#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/domain_input.h"
#include "platform/host_name.h"
#include "probes/command_probes.h"

TEST(CleanDomain, RemovesWhiteSpaceOneSchemeAndAllTrailingSlashes) {
    EXPECT_EQ(CString("example.com"), CleanDomain("  https://example.com///  "));
    EXPECT_EQ(CString("example.com"), CleanDomain("\thttp://example.com/\r\n"));
    EXPECT_EQ(CString("example.com/path"), CleanDomain("http://example.com/path/"));
    // Both prefixes are tried, in this order.
    EXPECT_EQ(CString("x.com"), CleanDomain("https://http://x.com"));
    EXPECT_EQ(CString("https://x.com"), CleanDomain("http://https://x.com"));
}

TEST(CleanDomain, KeepsWhatOnlyLooksLikeAScheme) {
    EXPECT_EQ(CString("shop.example.com"), CleanDomain("shop.example.com"));
    EXPECT_EQ(CString("https.example.com"), CleanDomain("https.example.com"));
    EXPECT_EQ(CString("HTTPS://example.com"), CleanDomain("HTTPS://example.com"));
}

TEST(CleanDomain, EmptyWhenOnlyWhiteSpaceSchemeOrSlashes) {
    EXPECT_TRUE(CleanDomain("   ").IsEmpty());
    EXPECT_TRUE(CleanDomain("https://").IsEmpty());
    EXPECT_TRUE(CleanDomain("http://").IsEmpty());
    EXPECT_TRUE(CleanDomain("///").IsEmpty());
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("http:// ")));
}

TEST(IsDomainAcceptable, RefusesWhatWouldBecomeExtraArgumentsOrOptions) {
    EXPECT_FALSE(IsDomainAcceptable(""));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("example.com -t")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("example.com\t-n 1000")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("-t")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("/all")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("http:// -t")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("\"example.com")));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("exa\"mple.com")));
    EXPECT_FALSE(IsDomainAcceptable(CString("exa\x01mple.com")));
    EXPECT_FALSE(IsDomainAcceptable(CString("example.com\x7F")));
    // A space left at the end once the trailing slash is gone would split "host :21".
    EXPECT_EQ(CString("example.com "), CleanDomain("http://example.com /"));
    EXPECT_FALSE(IsDomainAcceptable(CleanDomain("http://example.com /")));
}

TEST(IsDomainAcceptable, AcceptsWhatTheStartButtonAlwaysAccepted) {
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("example.com")));
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("http:// example.com")));
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("example.com/path/page")));
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("HTTP://example.com")));
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("例子.中国")));
    EXPECT_TRUE(IsDomainAcceptable(CleanDomain("a&b|c.com")));
}

namespace {

std::vector<std::string> Bytes(const CArgumentList& arguments) {
    std::vector<std::string> bytes;
    for (const CString& argument : arguments) bytes.push_back(argument.Bytes());
    return bytes;
}

}  // namespace

// What each step's command receives, from the text as typed: one argument holding the
// bare host, never a blank the command would read as part of the name.
TEST(TypedDomain, EveryCommandGetsTheBareHost) {
    const struct {
        const char* typed;
        const char* host;
    } cases[] = {
        {"http:// www.example.com", "www.example.com"},
        {"https://\t www.example.com/", "www.example.com"},
        {"  http://   www.example.com  ", "www.example.com"},
        {"www.example.com", "www.example.com"},
        {"https:// http:// www.example.com", "http:// www.example.com"},
    };
    const std::string psping = GetProgramDirectory() + "psping";
    for (const auto& c : cases) {
        const CString cleaned = CleanDomain(c.typed);
        const std::string host = c.host;
        EXPECT_EQ(host, cleaned.Bytes()) << c.typed;
        if (host.find(' ') != std::string::npos) {
            EXPECT_FALSE(IsDomainAcceptable(cleaned)) << c.typed;
            continue;
        }
        ASSERT_TRUE(IsDomainAcceptable(cleaned)) << c.typed;
        const std::vector<std::string> ftp = {psping, "/accepteula", "-n", "10", host + ":21"};
        EXPECT_EQ(ftp, Bytes(PspingCommand(cleaned, 21))) << c.typed;
        EXPECT_EQ(host + ":80", Bytes(PspingCommand(cleaned, 80)).back()) << c.typed;
        EXPECT_EQ((std::vector<std::string>{"ping", host}), Bytes(PingCommand(cleaned))) << c.typed;
        EXPECT_EQ((std::vector<std::string>{"tracert", "-d", host}), Bytes(TracertCommand(cleaned)))
            << c.typed;
        // Step 9 names the host to the HTTP layer in its ASCII form.
        EXPECT_EQ(host, HostNameToAscii(cleaned).Bytes()) << c.typed;
    }
}
