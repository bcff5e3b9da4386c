#include <gtest/gtest.h>

#include "probes/probe_context.h"
#include "probes/whois_lookup.h"
#include "tests/test_support.h"

TEST(ProbeContext, AFailureLeavesNothingBehindForTheNextCall) {
    EnsureNetworking();
    const CProbeContext context;
    EXPECT_FALSE(ResolveHostIPv4(context, "no..such.invalid").failureLine.IsEmpty());
    const CHostLookup next = ResolveHostIPv4(context, "127.0.0.1");
    EXPECT_EQ(CString("127.0.0.1"), next.resolution.address);
    EXPECT_TRUE(next.failureLine.IsEmpty());
}

TEST(WhoisServerTable, HoldsTheShippedRowsAndSharedHosts) {
    CWhoisServerTable servers(DefaultEndpoints());
    EXPECT_EQ(servers.Find("com"), servers.Find("net"));
    EXPECT_EQ(servers.Find("com"), servers.Find("edu"));
    EXPECT_EQ(servers.Find("公司"), servers.Find("佛山"));
    EXPECT_NE(servers.Find("cn"), servers.Find("中国"));
    EXPECT_EQ(DefaultEndpoints().whoisEqualsPrefixHost, servers.Find("com"));
}

TEST(WhoisServerTable, AnAbsentKeyIsAddedWithAnEmptyServer) {
    CWhoisServerTable servers(DefaultEndpoints());
    const size_t before = servers.Size();
    EXPECT_TRUE(servers.Find("COM").IsEmpty());
    EXPECT_EQ(before + 1, servers.Size());
    EXPECT_TRUE(servers.Holds("COM"));
    EXPECT_FALSE(servers.Find("com").IsEmpty());
    EXPECT_EQ(before + 1, servers.Size());
}

TEST(ProbeContextResolve, TrimsTheHostAndReportsFailureWithTheTrimmedName) {
    EnsureNetworking();
    const CProbeContext context;
    const CHostLookup padded = ResolveHostIPv4(context, "  127.0.0.1 \t");
    EXPECT_EQ(CString("127.0.0.1"), padded.resolution.address);
    EXPECT_TRUE(padded.failureLine.IsEmpty());
    EXPECT_EQ(CString("127.0.0.1"), ResolveHostIPv4(context, "localhost").resolution.address);

    const CHostLookup missing = ResolveHostIPv4(context, "  no..such.invalid  ");
    EXPECT_TRUE(missing.resolution.address.IsEmpty());
    EXPECT_EQ(CString("无法解析no..such.invalid的主机IP\r\n"), missing.failureLine);
    const CHostLookup blank = ResolveHostIPv4(context, "   ");
    EXPECT_TRUE(blank.resolution.address.IsEmpty());
    EXPECT_EQ(CString("无法解析的主机IP\r\n"), blank.failureLine);
}
