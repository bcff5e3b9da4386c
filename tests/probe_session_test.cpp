#include <gtest/gtest.h>

#include "probes/probe_session.h"
#include "tests/test_support.h"

TEST(ProbeSessionSlots, TakingASlotEmptiesIt) {
    CProbeSession session;
    EXPECT_TRUE(session.TakeResult().IsEmpty());
    EXPECT_TRUE(session.m_strResult.IsEmpty());
    session.m_strResult = "out";
    session.m_strError = "err";
    EXPECT_EQ(CString("out"), session.TakeResult());
    EXPECT_TRUE(session.TakeResult().IsEmpty());
    EXPECT_EQ(CString("err"), session.TakeError());
    EXPECT_TRUE(session.TakeError().IsEmpty());
}

TEST(ProbeSessionTable, HoldsTheShippedRowsAndSharedHosts) {
    CProbeSession session;
    EXPECT_EQ(session.m_whoisServers["com"], session.m_whoisServers["net"]);
    EXPECT_EQ(session.m_whoisServers["com"], session.m_whoisServers["edu"]);
    EXPECT_EQ(session.m_whoisServers["公司"], session.m_whoisServers["佛山"]);
    EXPECT_NE(session.m_whoisServers["cn"], session.m_whoisServers["中国"]);
    EXPECT_EQ(DefaultEndpoints().whoisEqualsPrefixHost, session.m_whoisServers["com"]);
}

TEST(ProbeSessionTable, AnAbsentKeyIsAddedWithAnEmptyServer) {
    CProbeSession session;
    const size_t before = session.m_whoisServers.size();
    EXPECT_TRUE(session.LookupWhoisServer("COM").IsEmpty());
    EXPECT_EQ(before + 1, session.m_whoisServers.size());
    EXPECT_EQ(1u, session.m_whoisServers.count("COM"));
    EXPECT_FALSE(session.LookupWhoisServer("com").IsEmpty());
    EXPECT_EQ(before + 1, session.m_whoisServers.size());
}

TEST(ProbeSessionResolve, TrimsTheHostAndReportsFailureWithTheTrimmedName) {
    EnsureNetworking();
    CProbeSession session;
    EXPECT_EQ(CString("127.0.0.1"), session.ResolveHostIPv4("  127.0.0.1 \t"));
    EXPECT_TRUE(session.m_strError.IsEmpty());
    EXPECT_EQ(CString("127.0.0.1"), session.ResolveHostIPv4("localhost"));

    EXPECT_TRUE(session.ResolveHostIPv4("  no..such.invalid  ").IsEmpty());
    EXPECT_EQ(CString("无法解析no..such.invalid的主机IP\r\n"), session.m_strError);
    EXPECT_TRUE(session.ResolveHostIPv4("   ").IsEmpty());
    EXPECT_EQ(CString("无法解析的主机IP\r\n"), session.m_strError);
}
