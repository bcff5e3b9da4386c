#include <gtest/gtest.h>

#include "engine/domain_input.h"

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
    EXPECT_EQ(CString(" example.com"), CleanDomain("http:// example.com"));
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
