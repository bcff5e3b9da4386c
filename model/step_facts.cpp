// The facts of the command steps (whois, ipconfig, psping, ping, tracert), read from what
// the commands printed, and the dispatch over every step kind.
#include "model/step_facts.h"

#include <cstdio>

#include "model/step_formats.h"
#include "model/text_scan.h"

namespace {

bool StartsWith(std::string_view text, std::string_view lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

// The value after the first ASCII or full-width colon of a line, blanks trimmed.
std::string_view AfterColon(std::string_view line) {
    const size_t ascii = line.find(':'), wide = line.find("：");
    if (wide != std::string_view::npos && (ascii == std::string_view::npos || wide < ascii))
        return TrimBlanks(line.substr(wide + std::string_view("：").size()));
    return ascii == std::string_view::npos ? std::string_view() : TrimBlanks(line.substr(ascii + 1));
}

void ReadWhoisFacts(std::string_view text, CWhoisFacts* facts) {
    const std::string_view rdapLead = "以下信息来自RDAP：";
    const size_t rdap = text.find(rdapLead);
    if (rdap != std::string_view::npos) {
        facts->source = "rdap";
        const std::string_view rest = text.substr(rdap + rdapLead.size());
        facts->server = std::string(rest.substr(0, rest.find("）")));
    } else if (text.find("Domain Name:") != std::string_view::npos ||
               LowerAscii(text).find("domain name:") != std::string::npos) {
        facts->source = "whois";
    }
    const CDate expiry = ReadExpiryDate(text);
    if (expiry.Valid()) facts->expiry = DateFact(expiry.year, expiry.month, expiry.day);
    for (std::string_view line : SplitLines(text)) {
        const std::string lowered = LowerAscii(line);
        const std::string_view value = AfterColon(line);
        if (StartsWith(TrimBlanks(line), "状态：")) {
            for (std::string_view item = value; !item.empty();) {
                const size_t comma = item.find(", ");
                facts->statuses.emplace_back(item.substr(0, comma));
                item = comma == std::string_view::npos ? std::string_view() : item.substr(comma + 2);
            }
        } else if (lowered.find("status:") != std::string::npos && !value.empty()) {
            facts->statuses.emplace_back(value.substr(0, value.find(' ')));
        }
        const bool registrar = StartsWith(TrimBlanks(lowered), "registrar:") ||
                               StartsWith(TrimBlanks(line), "注册商：");
        if (registrar && facts->registrar.empty()) facts->registrar = std::string(value);
    }
}

// "   IPv4 Address. . . . . . . . . . . : 192.0.2.5(Preferred)": the key, lowered, and the
// value without its state in brackets.
bool ReadIpconfigField(std::string_view line, std::string* key, std::string_view* value) {
    const size_t colon = line.find(" : ");
    if (colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    *key = LowerAscii(TrimBlanks(name));
    *value = TrimBlanks(line.substr(colon + 3));
    *value = value->substr(0, value->find('('));
    return true;
}

// The list a key's values go to, or null for a key whose value is not a fact.
std::vector<std::string>* IpconfigList(const std::string& key, CIpconfigFacts* facts) {
    CAdapterFacts* adapter = facts->adapters.empty() ? nullptr : &facts->adapters.back();
    const bool dns = key == "dns servers" || key == "dns 服务器";
    if (!adapter) return dns ? &facts->dnsServers : nullptr;
    if (dns) return &adapter->dnsServers;
    if (key.find("ipv6") != std::string::npos) return &adapter->ipv6;
    if (key == "ipv4 address" || key == "ip address" || key == "ipv4 地址" || key == "ip 地址")
        return &adapter->ipv4;
    if (key == "default gateway" || key == "默认网关") return &adapter->gateways;
    if (key == "dhcp server" || key == "dhcp 服务器") return &adapter->dhcpServers;
    return nullptr;
}

void ReadIpconfigFacts(std::string_view text, CIpconfigFacts* facts) {
    std::vector<std::string>* list = nullptr;
    for (std::string_view line : SplitLines(text)) {
        if (TrimBlanks(line).empty()) continue;
        std::string key;
        std::string_view value;
        if (line[0] != ' ' && line.back() == ':') {
            facts->adapters.push_back({});
            facts->adapters.back().name = std::string(line.substr(0, line.size() - 1));
            list = nullptr;
        } else if (ReadIpconfigField(line, &key, &value)) {
            list = IpconfigList(key, facts);
            if (key == "host name" || key == "主机名") facts->hostName = std::string(value);
            if ((key == "physical address" || key == "物理地址") && !facts->adapters.empty())
                facts->adapters.back().mac = std::string(value);
            if (list && !value.empty()) list->emplace_back(value);
        } else if (list && line.compare(0, 8, "        ") == 0) {
            const std::string_view more = TrimBlanks(line);
            list->emplace_back(more.substr(0, more.find('(')));
        } else {
            list = nullptr;
        }
    }
}

// "Connecting to 192.0.2.1:80: 0.09ms", or the reason; the warm-up is not counted.
void ReadPortFacts(std::string_view text, int port, CPortFacts* facts) {
    facts->port = port;
    facts->nameUnresolved = SaysHostNotFound(text);
    const CEchoStats stats = ReadEchoStats(text);
    facts->sent = stats.sent;
    facts->connected = stats.received;
    for (std::string_view line : SplitLines(text)) {
        if (StartsWith(line, "TCP connect to ") && facts->target.empty()) {
            const std::string_view endpoint = line.substr(15);
            facts->target = std::string(endpoint.substr(0, endpoint.rfind(':', endpoint.size() - 2)));
        }
        if (!StartsWith(line, "Connecting to ") || line.find("(warmup)") != std::string_view::npos)
            continue;
        const size_t colon = line.rfind(": ");
        double ms = -1;
        size_t used = 0;
        const std::string_view rest = colon == std::string_view::npos ? "" : line.substr(colon + 2);
        if (!(ReadNumber(rest, &ms, &used) && rest.substr(used) == "ms")) ms = -1;
        facts->timesMs.push_back(ms);
    }
}

// "Reply from 192.0.2.1: bytes=32 time=2ms TTL=52" in either language; a line saying the
// echo was lost counts -1.
void ReadPingFacts(std::string_view text, CPingFacts* facts) {
    facts->nameUnresolved = SaysHostNotFound(text);
    const CEchoStats stats = ReadEchoStats(text);
    facts->sent = stats.sent;
    facts->received = stats.received;
    facts->averageMs = stats.averageMs;
    for (std::string_view line : SplitLines(text)) {
        const size_t open = line.find(" ["), close = line.find(']');
        if (facts->target.empty() && open != std::string_view::npos && close > open)
            facts->target = std::string(line.substr(open + 2, close - open - 2));
        const size_t time = AfterLast(line, {"time=", "time<", "时间=", "时间<"});
        double ms = 0;
        if (time != std::string_view::npos && ReadNumber(line.substr(time), &ms))
            facts->timesMs.push_back(ms);
        else if (line == "Request timed out." || line == "请求超时。")
            facts->timesMs.push_back(-1);
    }
}

void ReadTraceFacts(std::string_view text, CTraceFacts* facts) {
    facts->nameUnresolved = SaysHostNotFound(text);
    const CTrace trace = ReadTrace(text);
    facts->target = trace.target;
    for (const CTraceHop& hop : trace.hops) facts->hops.push_back({hop.number, hop.address, hop.timesMs});
}

bool HasAll(const std::vector<std::string>& ids, std::initializer_list<std::string_view> wanted) {
    for (std::string_view id : wanted) {
        bool found = false;
        for (const std::string& each : ids) found = found || each == id;
        if (!found) return false;
    }
    return true;
}

bool StepOk(const CStepRecord& record) {
    switch (record.step) {
        case EReportStep::kWhois:
            return !record.whois.source.empty();
        case EReportStep::kPublicIp:
            return !record.publicIp.address.empty();
        case EReportStep::kIpconfig:
            return !record.ipconfig.adapters.empty();
        case EReportStep::kFtpPort:
        case EReportStep::kHttpPort:
            return record.port.connected > 0;
        case EReportStep::kPing:
            return record.ping.received > 0;
        case EReportStep::kTracert:
            return !record.trace.hops.empty() && record.trace.hops.back().address == record.trace.target;
        case EReportStep::kWebsite:
            return record.web.status == 200;
        case EReportStep::kDnsAnswers:
            return !record.dns.records.empty();
        case EReportStep::kHttps:
            return record.https.answer.status != 0 && HasAll(record.https.verdicts,
                {"cert-days-left", "cert-trusted", "cert-name-match"});
        case EReportStep::kIpv6:
            for (const CIpv6ConnectFacts& connect : record.ipv6.connects)
                if (connect.connected) return true;
            return false;
        case EReportStep::kPathStatistics:
            return !record.path.ipv4.rows.empty();
        case EReportStep::kEgress:
        case EReportStep::kEnvironment:
        case EReportStep::kFlushDns:
        case EReportStep::kDiagnosis:
            return true;
        case EReportStep::kUnknown:
            break;
    }
    return false;
}

}  // namespace

std::string DateFact(int year, int month, int day) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

std::vector<std::string> VerdictsOfText(std::string_view text) {
    std::vector<std::string> ids;
    for (std::string_view line : SplitLines(text))
        if (const CVerdict* verdict = VerdictOfLine(TrimBlanks(line))) ids.emplace_back(verdict->id);
    return ids;
}

CStepRecord ReadStepRecord(EReportStep step, std::string_view text) {
    CStepRecord record;
    record.step = step;
    record.text = std::string(text);
    ReadStepFacts(&record);
    return record;
}

void ReadStepFacts(CStepRecord* record) {
    const std::string_view text = record->text;
    switch (record->step) {
        case EReportStep::kWhois: ReadWhoisFacts(text, &record->whois); break;
        case EReportStep::kPublicIp: ReadPublicIpFacts(text, &record->publicIp); break;
        case EReportStep::kIpconfig: ReadIpconfigFacts(text, &record->ipconfig); break;
        case EReportStep::kFtpPort: ReadPortFacts(text, 21, &record->port); break;
        case EReportStep::kHttpPort: ReadPortFacts(text, 80, &record->port); break;
        case EReportStep::kPing: ReadPingFacts(text, &record->ping); break;
        case EReportStep::kTracert: ReadTraceFacts(text, &record->trace); break;
        case EReportStep::kWebsite: ReadWebFacts(text, &record->web); break;
        case EReportStep::kDnsAnswers: ReadDnsFacts(text, &record->dns); break;
        case EReportStep::kHttps: ReadHttpsFacts(text, &record->https); break;
        case EReportStep::kIpv6: ReadIpv6Facts(text, &record->ipv6); break;
        case EReportStep::kPathStatistics: ReadPathFacts(text, &record->path); break;
        case EReportStep::kEgress: ReadEgressFacts(text, &record->egress); break;
        case EReportStep::kEnvironment: ReadEnvironmentFacts(text, &record->environment); break;
        default: break;
    }
    record->ok = record->complete && StepOk(*record);
}
