// The object through which every step of a check run is performed: two text slots
// through which probes hand back their output or failure message, the whois server
// table, and host resolution. One session per run, used by the worker thread alone.
#pragma once

#include <map>

#include "platform/child_process.h"
#include "platform/deadline.h"
#include "platform/mb_string.h"
#include "platform/resolver.h"
#include "probes/endpoints.h"

class CStopSignal;

class CProbeSession {
public:
    // The run's time budget starts now, on the given clock.
    explicit CProbeSession(const CProbeEndpoints& endpoints = DefaultEndpoints(),
                           CStopSignal* stop = nullptr, const IClock& clock = SteadyClock());

    CString TakeResult();
    CString TakeError();

    // First IPv4 address of the host in dotted form; on failure the empty text, with
    // the resolution message in the error slot. The lookup waits at most limitMs.
    CString ResolveHostIPv4(CString host, int limitMs = kNameLookupLimitMs);

    // The table lookup rule: an absent key is added with an empty server name.
    CString LookupWhoisServer(const CString& key);

    // Probes: nonzero on success (text in m_strResult), zero on failure (message, if
    // any, in m_strError).
    int LookupWhois(CString domain);
    int FetchPublicIP();
    int GetLocalNetworkInfo();
    int FlushDnsCache();
    int ProbeFtpPort(CString domain);
    int ProbeHttpPort(CString domain);
    int RunPing(CString domain);
    int RunTracert(CString domain);
    int CheckWebsite(CString domain);
    // The optional steps after the ninth: DNS answers, HTTPS and its certificate, IPv6.
    int LookupDnsRecords(CString domain);
    int CheckHttps(CString domain);
    int ProbeIpv6(CString domain);
    // Path statistics over the rounds set below, ending with the public address noted.
    int TracePathStats(CString domain);
    void SetPathRounds(int rounds) { m_pathRounds = rounds; }
    void NotePublicAddress(const CString& address) { m_publicAddress = address; }

    CString QueryWhoisServer(CString server, CString domain);
    // Step 1 through RDAP, once the whois servers gave no answer: nonzero with the
    // record's lines in m_strResult, or zero with the reason added to m_strError.
    int LookupRdapInstead(const CString& domain);
    CString FetchWebsiteHeaders(CString domain);

    // Runs the program with its arguments as a hidden child and appends all it prints
    // to m_strResult. A child still running after limitSeconds is ended with
    // everything it started. 0 when the pipe or the process cannot be created, with
    // the reason in m_strError ("找不到psping程序").
    int RunCommandCapture(const CArgumentList& command, int limitSeconds);

    // Tracert's limit at this moment: its own, or less when the run's budget is running
    // out (time_limits.h).
    int TracertLimitSeconds() const;
    // Sets time aside out of the run's budget for steps that follow the web site step.
    void ReserveAfterWebsite(int milliseconds) { m_reservedAfterWebsiteMs = milliseconds; }

    CString m_strResult;
    CString m_strError;
    std::map<CString, CString> m_whoisServers;

private:
    int ProbeTcpPort(const CString& domain, int port);
    // ResolveHostIPv4, telling also why a lookup failed.
    CResolution ResolveHost(CString host, int limitMs);

    CProbeEndpoints m_endpoints;
    CStopSignal* m_stop;
    CDeadline m_runBudget;
    int m_reservedAfterWebsiteMs = 0;
    int m_pathRounds = kPathRoundsDefault;
    CString m_publicAddress;
};
