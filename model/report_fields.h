// The fields of each kind of facts, named once for both the writer and the reader of the
// JSON report: Visit(visitor, facts) calls visitor(key, member) for every member.
#pragma once

#include "model/report_model.h"

template <class V> void Visit(V& v, CWhoisFacts& f) {
    v("source", f.source);
    v("server", f.server);
    v("expiry", f.expiry);
    v("statuses", f.statuses);
    v("registrar", f.registrar);
}
template <class V> void Visit(V& v, CPublicIpFacts& f) {
    v("address", f.address);
    v("label", f.label);
    v("checkedAddress", f.checkedAddress);
    v("mismatch", f.mismatch);
}
template <class V> void Visit(V& v, CAdapterFacts& f) {
    v("name", f.name);
    v("mac", f.mac);
    v("ipv4", f.ipv4);
    v("ipv6", f.ipv6);
    v("gateways", f.gateways);
    v("dhcpServers", f.dhcpServers);
    v("dnsServers", f.dnsServers);
}
template <class V> void Visit(V& v, CIpconfigFacts& f) {
    v("hostName", f.hostName);
    v("dnsServers", f.dnsServers);
    v("adapters", f.adapters);
}
template <class V> void Visit(V& v, CPortFacts& f) {
    v("port", f.port);
    v("target", f.target);
    v("nameUnresolved", f.nameUnresolved);
    v("sent", f.sent);
    v("connected", f.connected);
    v("timesMs", f.timesMs);
}
template <class V> void Visit(V& v, CPingFacts& f) {
    v("target", f.target);
    v("nameUnresolved", f.nameUnresolved);
    v("sent", f.sent);
    v("received", f.received);
    v("timesMs", f.timesMs);
    v("averageMs", f.averageMs);
}
template <class V> void Visit(V& v, CTraceHopFacts& f) {
    v("ttl", f.ttl);
    v("address", f.address);
    v("timesMs", f.timesMs);
}
template <class V> void Visit(V& v, CTraceFacts& f) {
    v("target", f.target);
    v("nameUnresolved", f.nameUnresolved);
    v("hops", f.hops);
}
template <class V> void Visit(V& v, CWebFacts& f) {
    v("status", f.status);
    v("statusLine", f.statusLine);
    v("headers", f.headers);
    v("failureId", f.failureId);
    v("failure", f.failure);
    v("failureKind", f.failureKind);
    v("lookupTimedOut", f.lookupTimedOut);
}
template <class V> void Visit(V& v, CDnsRecordFacts& f) {
    v("name", f.name);
    v("type", f.type);
    v("value", f.value);
    v("ttl", f.ttl);
}
template <class V> void Visit(V& v, CDnsFacts& f) {
    v("records", f.records);
    v("failures", f.failures);
    v("timedOutLine", f.timedOutLine);
    v("servers", f.servers);
    v("verdicts", f.verdicts);
}
template <class V> void Visit(V& v, CHttpsFacts& f) {
    v("answer", f.answer);
    v("subject", f.subject);
    v("issuer", f.issuer);
    v("notBefore", f.notBefore);
    v("notAfter", f.notAfter);
    v("altNames", f.altNames);
    v("daysLeft", f.daysLeft);
    v("verdicts", f.verdicts);
}
template <class V> void Visit(V& v, CIpv6ConnectFacts& f) {
    v("address", f.address);
    v("port", f.port);
    v("connected", f.connected);
    v("timeMs", f.timeMs);
}
template <class V> void Visit(V& v, CIpv6Facts& f) {
    v("connects", f.connects);
    v("verdicts", f.verdicts);
}
template <class V> void Visit(V& v, CPathRowFacts& f) {
    v("ttl", f.ttl);
    v("address", f.address);
    v("lossPercent", f.lossPercent);
    v("sent", f.sent);
    v("lastMs", f.lastMs);
    v("averageMs", f.averageMs);
    v("bestMs", f.bestMs);
    v("worstMs", f.worstMs);
    v("deviationMs", f.deviationMs);
    v("label", f.label);
}
template <class V> void Visit(V& v, CPathTableFacts& f) {
    v("target", f.target);
    v("rounds", f.rounds);
    v("intervalSeconds", f.intervalSeconds);
    v("rows", f.rows);
}
template <class V> void Visit(V& v, CPathFacts& f) {
    v("ipv4", f.ipv4);
    v("ipv6", f.ipv6);
    v("reverseTraceAddress", f.reverseTraceAddress);
}
template <class V> void Visit(V& v, CEgressSourceFacts& f) {
    v("source", f.source);
    v("addresses", f.addresses);
    v("failure", f.failure);
}
template <class V> void Visit(V& v, CEgressFacts& f) {
    v("publicAddresses", f.publicAddresses);
    v("resolverEgress", f.resolverEgress);
    v("dnsAnswers", f.dnsAnswers);
    v("verdicts", f.verdicts);
}
template <class V> void Visit(V& v, CEnvironmentFacts& f) {
    v("proxy", f.proxy);
    v("hostsLines", f.hostsLines);
    v("vpnAdapter", f.vpnAdapter);
    v("clockOffsetSeconds", f.clockOffsetSeconds);
    v("verdicts", f.verdicts);
}

// The facts of a record's kind to the visitor, as one object; false for a kind without
// facts.
template <class V> bool VisitStepFacts(V& v, CStepRecord& r) {
    switch (r.step) {
        case EReportStep::kWhois: Visit(v, r.whois); return true;
        case EReportStep::kPublicIp: Visit(v, r.publicIp); return true;
        case EReportStep::kIpconfig: Visit(v, r.ipconfig); return true;
        case EReportStep::kFtpPort:
        case EReportStep::kHttpPort: Visit(v, r.port); return true;
        case EReportStep::kPing: Visit(v, r.ping); return true;
        case EReportStep::kTracert: Visit(v, r.trace); return true;
        case EReportStep::kWebsite: Visit(v, r.web); return true;
        case EReportStep::kDnsAnswers: Visit(v, r.dns); return true;
        case EReportStep::kHttps: Visit(v, r.https); return true;
        case EReportStep::kIpv6: Visit(v, r.ipv6); return true;
        case EReportStep::kPathStatistics: Visit(v, r.path); return true;
        case EReportStep::kEgress: Visit(v, r.egress); return true;
        case EReportStep::kEnvironment: Visit(v, r.environment); return true;
        default: return false;
    }
}
