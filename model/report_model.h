// The report model: one record per step of a run, holding the exact body bytes the
// report prints and the typed facts that body was written from. The text report, the
// JSON report, the findings, the pictures of the path and the support desk's console are
// all made from these records; a saved text or JSON report reads back into them.
//
// Strings are GBK bytes unless a name says otherwise; addresses are numeric text
// ("192.0.2.1", "2001:db8::1"). A time in milliseconds is -1 where the report shows none
// (a probe that timed out, "*").
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/report_vocabulary.h"

// Step 1: the registration record, from whois or, failing that, RDAP.
struct CWhoisFacts {
    std::string source;      // "whois" or "rdap"; "" when neither answered
    std::string server;      // the last server that answered
    std::string expiry;      // "2027-06-01", "" when the record names none
    std::vector<std::string> statuses;  // as the record writes them ("clientHold", ...)
    std::string registrar;
};

// Step 2: the machine's public address, and what independent services said.
struct CPublicIpFacts {
    std::string address;  // "" when no service answered
    std::string label;    // the region label of the address
    // What independent services agreed on, when they were asked; mismatch: they name
    // another address than the page did.
    std::string checkedAddress;
    bool mismatch = false;
};

// Step 3: ipconfig /all (or the stand-in), one entry per adapter.
struct CAdapterFacts {
    std::string name;
    std::string mac;  // as printed ("AA-BB-CC-DD-EE-FF")
    std::vector<std::string> ipv4;
    std::vector<std::string> ipv6;
    std::vector<std::string> gateways;
    std::vector<std::string> dhcpServers;
    std::vector<std::string> dnsServers;
};
struct CIpconfigFacts {
    std::string hostName;
    std::vector<std::string> dnsServers;  // named for the whole machine (the stand-in)
    std::vector<CAdapterFacts> adapters;
};

// Steps 5 and 6: the TCP connect probes.
struct CPortFacts {
    int port = 0;
    std::string target;  // the address connected to
    bool nameUnresolved = false;
    int sent = 0;
    int connected = 0;
    std::vector<double> timesMs;  // one per probe after the warm-up, -1 for a failure
};

// Step 7: ping.
struct CPingFacts {
    std::string target;
    bool nameUnresolved = false;
    int sent = 0;
    int received = 0;
    std::vector<double> timesMs;  // one per echo, -1 for a lost one
    double averageMs = -1;
};

// Step 8: tracert; one hop per TTL.
struct CTraceHopFacts {
    int ttl = 0;
    std::string address;          // "" when no probe answered
    std::vector<double> timesMs;  // three, -1 for "*"
};
struct CTraceFacts {
    std::string target;
    bool nameUnresolved = false;
    std::vector<CTraceHopFacts> hops;
};

// Step 9 (and the HTTPS step's answer): what the site answered.
enum class EWebFailure {
    kNone,
    kNameUnresolved,  // the name did not resolve
    kSilent,          // the connection timed out or was cut before an answer
    kOther,
};
struct CWebFacts {
    int status = 0;           // 0: no answer
    std::string statusLine;   // "HTTP/1.1 200 OK"
    std::string headers;      // the header block as received, CR LF lines
    std::string failureId;    // the verdict id of a failure, "" on an answer
    std::string failure;      // why there was no answer, as printed
    EWebFailure failureKind = EWebFailure::kNone;
    bool lookupTimedOut = false;  // the name's lookup ran out of time
};

// The DNS step: the records of each name, and the system's DNS servers.
struct CDnsRecordFacts {
    std::string name;
    std::string type;  // "A", "AAAA", "CNAME"
    std::string value;
    long ttl = -1;
};
struct CDnsFacts {
    std::vector<CDnsRecordFacts> records;
    // Lines saying a query failed ("A记录查询失败：查询超时"), blanks trimmed; timedOut
    // when one says the server did not answer in time.
    std::vector<std::string> failures;
    std::string timedOutLine;  // the first failure line saying a query timed out
    std::vector<std::string> servers;
    std::vector<std::string> verdicts;  // verdict ids
};

// The HTTPS step: the answer, the certificate and its verdicts.
struct CHttpsFacts {
    CWebFacts answer;
    std::string subject, issuer, notBefore, notAfter;
    std::vector<std::string> altNames;
    int daysLeft = -1;  // -1: not known, or already expired (see verdicts)
    std::vector<std::string> verdicts;
};

// The IPv6 step: one connect per AAAA address and port.
struct CIpv6ConnectFacts {
    std::string address;
    int port = 0;
    bool connected = false;
    double timeMs = -1;
};
struct CIpv6Facts {
    std::vector<CIpv6ConnectFacts> connects;
    std::vector<std::string> verdicts;
};

// The path statistics step: the table's rows (several per TTL when the route is
// balanced), IPv4 and, when present, IPv6.
struct CPathRowFacts {
    int ttl = 0;
    std::string address;  // "???" for a hop that never answered
    double lossPercent = -1;
    int sent = 0;
    double lastMs = -1, averageMs = -1, bestMs = -1, worstMs = -1, deviationMs = -1;
    std::string label;
};
struct CPathTableFacts {
    std::string target;
    int rounds = 0;
    int intervalSeconds = 1;
    std::vector<CPathRowFacts> rows;
};
struct CPathFacts {
    CPathTableFacts ipv4;
    std::optional<CPathTableFacts> ipv6;
    std::string reverseTraceAddress;  // the public address the reverse-trace line names
};

// The egress step: the public addresses each service saw, what each DNS server
// answered for the domain, and the verdicts.
struct CEgressSourceFacts {
    std::string source;  // a service's name, or a DNS server ("系统DNS（192.168.1.1）")
    std::vector<std::string> addresses;
    std::string failure;  // why it gave none, as printed
};
struct CEgressFacts {
    std::vector<CEgressSourceFacts> publicAddresses;
    std::string resolverEgress;  // the address the system resolver asks from
    std::vector<CEgressSourceFacts> dnsAnswers;
    std::vector<std::string> verdicts;
};

// The local environment step.
struct CEnvironmentFacts {
    std::string proxy;                    // the line naming the proxy server, "" without one
    std::vector<std::string> hostsLines;  // lines of the hosts file naming the site
    std::string vpnAdapter;               // the virtual adapter the site's route takes, or ""
    std::optional<long> clockOffsetSeconds;
    std::vector<std::string> verdicts;
};

// The findings block, and the findings of a report however they were computed.
enum class ESeverity { kCritical = 0, kWarning = 1, kInfo = 2 };
struct CFinding {
    std::string id;  // stable: "site-unreachable", "path-loss", ...
    ESeverity severity = ESeverity::kInfo;
    int step = 0;      // the number of the step it rests on; 0 for all-clear
    std::string text;  // one GBK sentence with the evidence
};

struct CStepRecord {
    int number = 0;  // as the header says
    EReportStep step = EReportStep::kUnknown;
    std::string name;   // the header's name
    std::string ended;  // the header's time stamp, "2026-12- 7 20: 5: 3"
    bool ok = false;    // the step got what it went for (see report_vocabulary.h)
    bool complete = true;  // false: the report ends inside this step's block
    std::string text;   // the body, byte for byte as the report prints it
    // The facts of the step's kind; the others stay empty.
    CWhoisFacts whois;
    CPublicIpFacts publicIp;
    CIpconfigFacts ipconfig;
    CPortFacts port;
    CPingFacts ping;
    CTraceFacts trace;
    CWebFacts web;
    CDnsFacts dns;
    CHttpsFacts https;
    CIpv6Facts ipv6;
    CPathFacts path;
    CEgressFacts egress;
    CEnvironmentFacts environment;
};

struct CReport {
    std::string version;  // of the program that made it; "" when unknown (a text report)
    std::string domain;
    std::vector<CStepRecord> steps;  // in the report's order
    std::vector<CFinding> findings;  // most severe first, then by step
    bool isReport = false;
    // GBK sentences about the report itself: truncated, steps missing or unknown, or
    // why it is not a report at all.
    std::vector<std::string> notes;
    // The bytes a saved text report holds outside its blocks, so that it renders back
    // byte for byte: what came before the banner (all of it when the bytes are no
    // report), and what follows the last block (a line saying the run ran out of
    // memory, a second run appended, a tail that is not in the report's grammar).
    std::string leading;
    std::string trailing;
    // The text's lines ended in LF alone (it passed through a mail program); the records
    // hold CR LF and the text is rendered back with LF.
    bool lfOnly = false;

    const CStepRecord* Find(EReportStep step) const;
};
