// The facts of the steps whose text the program writes itself: the web site's answer,
// DNS, HTTPS, IPv6, the path statistics, the egress, the environment, the public address.
#include "model/step_facts.h"
#include "model/step_formats.h"
#include "model/text_scan.h"

namespace {

const std::string_view kWide = "：";

bool StartsWith(std::string_view text, std::string_view lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Items joined by "、".
std::vector<std::string> SplitList(std::string_view text) {
    std::vector<std::string> items;
    while (!text.empty()) {
        const size_t mark = text.find("、");
        items.emplace_back(TrimBlanks(text.substr(0, mark)));
        text = mark == std::string_view::npos ? std::string_view() : text.substr(mark + 2);
    }
    return items;
}

// The number of "（TTL 300）" at the end of a record line, -1 without.
long TtlOf(std::string_view value) {
    const size_t at = value.find("（TTL ");
    double ttl = -1;
    if (at == std::string_view::npos || !ReadNumber(value.substr(at + 6), &ttl)) return -1;
    return static_cast<long>(ttl);
}

std::string_view BeforeBracket(std::string_view value) { return value.substr(0, value.find("（")); }

void ReadAnswerLines(std::string_view text, CWebFacts* facts) {
    const std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty() || !StartsWith(lines[0], "HTTP/")) return;
    const std::vector<std::string_view> words = SplitWords(lines[0]);
    double code = 0;
    size_t used = 0;
    if (words.size() >= 2 && ReadNumber(words[1], &code, &used) && used == 3)
        facts->status = static_cast<int>(code);
    facts->statusLine = std::string(lines[0]);
    const size_t end = text.find("\r\n\r\n");
    facts->headers = std::string(text.substr(0, end == std::string_view::npos ? text.size() : end + 4));
}

// The failure words of the web steps that call for different advice; how any other
// failure is worded does not change it.
EWebFailure FailureKind(std::string_view failure) {
    if (failure.find("域名无法解析") != std::string_view::npos) return EWebFailure::kNameUnresolved;
    if (failure.find("连接超时") != std::string_view::npos ||
        failure.find("连接被中断") != std::string_view::npos)
        return EWebFailure::kSilent;
    return EWebFailure::kOther;
}

}  // namespace

void ReadWebFacts(std::string_view text, CWebFacts* facts) {
    const std::string_view lead = "网站返回的状态不是200：\r\n";
    const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
    const CVerdict* verdict = VerdictOfLine(first);
    if (verdict && std::string_view(verdict->id).compare(0, 4, "web-") == 0) {
        facts->failureId = verdict->id;
        const std::string value = VerdictValue(*verdict, first);
        const size_t colon = value.find(kWide);
        facts->failure = colon == std::string::npos ? value : value.substr(colon + kWide.size());
        facts->lookupTimedOut = first.size() + 2 < text.size();
        facts->failureKind = FailureKind(facts->failure);
        return;
    }
    ReadAnswerLines(StartsWith(text, lead) ? text.substr(lead.size()) : text, facts);
}

void ReadDnsFacts(std::string_view text, CDnsFacts* facts) {
    std::string name;
    for (std::string_view line : SplitLines(text)) {
        const std::string_view trimmed = TrimBlanks(line);
        const std::vector<std::string_view> words = SplitWords(line);
        if (StartsWith(line, "系统使用的DNS服务器：")) {
            const std::string_view list = line.substr(std::string_view("系统使用的DNS服务器：").size());
            if (list != "未知") facts->servers = SplitList(list);
        } else if (!StartsWith(line, " ") && EndsWith(line, kWide)) {
            name = std::string(line.substr(0, line.size() - kWide.size()));
        } else if (words.size() >= 2 && (words[0] == "A" || words[0] == "AAAA")) {
            facts->records.push_back({name, std::string(words[0]), std::string(BeforeBracket(words[1])), TtlOf(line)});
        } else if (words.size() >= 4 && words[0] == "CNAME" && words[2] == "->") {
            facts->records.push_back({std::string(words[1]), "CNAME", std::string(BeforeBracket(words[3])), TtlOf(line)});
        } else if (trimmed.find("记录查询失败：") != std::string_view::npos) {
            facts->failures.emplace_back(trimmed);
        }
        if (facts->timedOutLine.empty() && trimmed.find("查询超时") != std::string_view::npos)
            facts->timedOutLine = std::string(trimmed);
    }
    facts->verdicts = VerdictsOfText(text);
}

void ReadHttpsFacts(std::string_view text, CHttpsFacts* facts) {
    const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
    if (StartsWith(first, "无法访问网站")) {
        facts->answer.failureId = "web-unreachable";
        facts->answer.failure = std::string(first);
    } else {
        ReadAnswerLines(text, &facts->answer);
    }
    facts->subject = std::string(ValueAfter(text, "证书主题："));
    facts->issuer = std::string(ValueAfter(text, "证书颁发者："));
    facts->notBefore = std::string(ValueAfter(text, "有效期自："));
    facts->notAfter = std::string(ValueAfter(text, "有效期至："));
    const std::string_view names = ValueAfter(text, "证书备用名称：");
    if (!names.empty()) facts->altNames = SplitList(names);
    facts->daysLeft = ReadCertDaysLeft(text);
    facts->verdicts = VerdictsOfText(text);
}

// "2001:db8::1：" then "  443端口：连接成功，用时1.25ms" or the reason.
void ReadIpv6Facts(std::string_view text, CIpv6Facts* facts) {
    std::string address;
    for (std::string_view line : SplitLines(text)) {
        if (!StartsWith(line, " ") && EndsWith(line, kWide) &&
            LooksLikeAddress(line.substr(0, line.size() - kWide.size()))) {
            address = std::string(line.substr(0, line.size() - kWide.size()));
            continue;
        }
        const std::string_view trimmed = TrimBlanks(line);
        const size_t port = trimmed.find("端口：");
        double number = 0;
        if (address.empty() || port == std::string_view::npos || !ReadNumber(trimmed, &number)) continue;
        CIpv6ConnectFacts connect{address, static_cast<int>(number), false, -1};
        const std::string_view result = trimmed.substr(port + std::string_view("端口：").size());
        const std::string_view success = "连接成功，用时";
        if (StartsWith(result, success)) {
            connect.connected = true;
            ReadNumber(result.substr(success.size()), &connect.timeMs);
        }
        facts->connects.push_back(connect);
    }
    facts->verdicts = VerdictsOfText(text);
}

namespace {

// "路由逐跳统计：www.example.com [203.0.113.80]，30轮，每轮间隔1秒" and the rows under it.
CPathTableFacts ReadPathTableFacts(std::string_view text) {
    CPathTableFacts table;
    const std::string_view title = ValueAfter(text, "路由逐跳统计：");
    const size_t open = title.find('['), close = title.find(']');
    if (open != std::string_view::npos && close > open) {
        table.target = std::string(title.substr(open + 1, close - open - 1));
        double value = 0;
        size_t used = 0;
        const std::string_view rest = title.substr(close + 1);
        if (StartsWith(rest, "，") && ReadNumber(rest.substr(2), &value, &used)) table.rounds = static_cast<int>(value);
        const std::string_view every = ValueAfter(rest, "每轮间隔");
        if (ReadNumber(every, &value)) table.intervalSeconds = static_cast<int>(value);
    }
    for (const CPathHop& hop : ReadPathTable(text)) {
        table.rows.push_back({hop.number, hop.address, hop.lossPercent, hop.sent, hop.lastMs, hop.averageMs,
                              hop.bestMs, hop.worstMs, hop.deviationMs, hop.label});
    }
    return table;
}

}  // namespace

void ReadPathFacts(std::string_view text, CPathFacts* facts) {
    // One table per address family, each headed by its own title line.
    const std::string_view title = "路由逐跳统计：";
    const size_t second = text.find(title, 1);
    const size_t six = text.find("IPv6：");
    facts->ipv4 = ReadPathTableFacts(text.substr(0, second));
    if (second != std::string_view::npos) facts->ipv6 = ReadPathTableFacts(text.substr(second));
    else if (six != std::string_view::npos) facts->ipv6 = CPathTableFacts();
    const std::string_view reverse = ValueAfter(text, "mtr -rwzbc100 ");
    facts->reverseTraceAddress = std::string(TrimBlanks(reverse));
}

// "  名称：地址" lines under "公网IPv4地址：", the resolver's egress line, the A records
// of each name per server, and the verdicts.
void ReadEgressFacts(std::string_view text, CEgressFacts* facts) {
    std::vector<CEgressSourceFacts>* list = &facts->dnsAnswers;
    for (std::string_view line : SplitLines(text)) {
        if (StartsWith(line, "公网IPv")) {
            list = &facts->publicAddresses;
            continue;
        }
        if (EndsWith(line, "的A记录：")) {
            list = &facts->dnsAnswers;
            continue;
        }
        if (StartsWith(line, "本机DNS的出口地址")) {
            const std::string_view value = line.substr(line.find(kWide) == std::string_view::npos ? line.size() : line.find(kWide) + 2);
            facts->resolverEgress = std::string(BeforeBracket(value));
            continue;
        }
        const std::string_view trimmed = TrimBlanks(line);
        const size_t colon = trimmed.find(kWide);
        if (colon == std::string_view::npos || VerdictOfLine(trimmed) || StartsWith(line, "系统使用")) continue;
        CEgressSourceFacts source{std::string(trimmed.substr(0, colon)), {}, {}};
        const std::string_view value = trimmed.substr(colon + kWide.size());
        for (const std::string& item : SplitList(BeforeBracket(value)))
            if (LooksLikeAddress(item)) source.addresses.push_back(item);
        if (source.addresses.empty()) source.failure = std::string(value);
        list->push_back(source);
    }
    facts->verdicts = VerdictsOfText(text);
}

namespace {

// A port after an ASCII colon ("127.0.0.1:7890"); the full-width colon of a label is
// two bytes that are never ':'.
bool NamesAServer(std::string_view line) {
    if (line.find("://") != std::string_view::npos) return true;
    for (size_t at = line.find(':'); at != std::string_view::npos; at = line.find(':', at + 1))
        if (at + 1 < line.size() && line[at + 1] >= '0' && line[at + 1] <= '9') return true;
    return false;
}

// A line about a proxy that names where the traffic goes; "直接连接" and the like are not.
bool IsProxyLine(std::string_view line) {
    const bool aboutProxy = line.find("代理") != std::string_view::npos ||
                            LowerAscii(line).find("proxy") != std::string::npos;
    return aboutProxy && NamesAServer(line);
}

// A hosts-file line quoted in the step: an address, then at least one name with dots
// (an adapter's name has none).
bool IsHostsLine(std::string_view line) {
    const std::vector<std::string_view> words = SplitWords(line);
    return words.size() >= 2 && LooksLikeAddress(words[0]) &&
           words[1].find('.') != std::string_view::npos && !LooksLikeAddress(words[1]);
}

bool Has(const std::vector<std::string>& ids, std::string_view id) {
    for (const std::string& each : ids)
        if (each == id) return true;
    return false;
}

}  // namespace

void ReadEnvironmentFacts(std::string_view text, CEnvironmentFacts* facts) {
    facts->verdicts = VerdictsOfText(text);
    for (std::string_view line : SplitLines(text)) {
        const std::string_view trimmed = TrimBlanks(line);
        if (facts->proxy.empty() && !Has(facts->verdicts, "proxy-none") && IsProxyLine(line))
            facts->proxy = std::string(trimmed);
        if (!Has(facts->verdicts, "hosts-none") && IsHostsLine(line))
            facts->hostsLines.emplace_back(trimmed);
        const CVerdict* verdict = VerdictOfLine(trimmed);
        if (verdict && std::string_view(verdict->id) == "route-vpn")
            facts->vpnAdapter = VerdictValue(*verdict, trimmed);
    }
    const long skew = ReadClockSkewSeconds(text);
    if (skew >= 0) facts->clockOffsetSeconds = skew;
}

// "您的IP是：[192.0.2.1] 来自：LABEL", and the independent services' line when they were
// asked ("（其他来源核对：本机公网IP为A（来源：...），与上面的结果不一致）").
void ReadPublicIpFacts(std::string_view text, CPublicIpFacts* facts) {
    const size_t open = text.find('['), close = text.find(']');
    if (open != std::string_view::npos && close > open &&
        LooksLikeAddress(text.substr(open + 1, close - open - 1))) {
        facts->address = std::string(text.substr(open + 1, close - open - 1));
        facts->label = std::string(TrimBlanks(ValueAfter(text.substr(close), "来自：")));
    }
    const std::string_view checked = ValueAfter(text, "本机公网IP为");
    facts->checkedAddress = std::string(BeforeBracket(checked));
    facts->mismatch = text.find("与上面的结果不一致") != std::string_view::npos;
}
