// See personal_data.h. The ipconfig step is read by its labels in both Windows
// languages (the Linux stand-in prints the English ones); the facts of the record, when
// the reader filled them, add to what the text gives.
#include "privacy/personal_data.h"

#include <cctype>
#include <string_view>

#include "privacy/text_tokens.h"

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool Has(std::string_view text, std::string_view words) {
    return text.find(words) != std::string_view::npos;
}

// Every address token of text into *set.
void AddAddresses(std::string_view text, std::set<std::string>* set) {
    for (const CTextToken& token : FindTokens(text, CharStarts(text)))
        if (token.kind == ETokenKind::kIpv4 || token.kind == ETokenKind::kIpv6)
            set->insert(token.value);
}

// "   Label . . . . : value" lines, and the value-only lines under them.
void ReadIpconfig(std::string_view text, CPersonalData* data) {
    std::string_view label;
    for (std::string_view line : Lines(text)) {
        const size_t colon = line.find(" : ");
        std::string_view value;
        if (colon != std::string_view::npos) {
            label = line.substr(0, colon);
            value = Trim(line.substr(colon + 3));
        } else if (line.size() > 30 && Trim(line.substr(0, 30)).empty()) {
            value = Trim(line);  // a further value of the label above
        } else {
            label = std::string_view();
            continue;
        }
        // Windows capitalises its labels, Wine's ipconfig does not ("Host name").
        std::string english(label);
        for (char& ch : english) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (Has(english, "host name") || Has(label, "主机名")) {
            if (!value.empty() && data->hostName.empty()) data->hostName = std::string(value);
        } else if (Has(english, "physical address") || Has(label, "物理地址")) {
            for (const CTextToken& token : FindTokens(value, CharStarts(value)))
                if (token.kind == ETokenKind::kMac) data->ownMacs.insert(token.value);
        } else if ((Has(english, "ipv4") || Has(english, "ipv6")) &&
                   (Has(english, "address") || Has(label, "地址"))) {
            AddAddresses(value, &data->ownAddresses);
        }
    }
}

// The address in brackets after the domain's name ("Pinging www.example.com [x]", the
// path table's title), or in psping's "TCP connect to x:80:" line.
// Without a domain, the first lines of the steps name the target.
void AddSiteLine(std::string_view line, bool early, const std::string& domain,
                 CPersonalData* data) {
    if (line.rfind("TCP connect to ", 0) == 0) {
        AddAddresses(line.substr(15), &data->siteAddresses);
        return;
    }
    std::string lowered(line);
    for (char& ch : lowered) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const size_t name = domain.empty() ? (early ? 0 : std::string::npos) : lowered.find(domain);
    if (name == std::string::npos) return;
    const size_t open = line.find('[', name);
    const size_t close = line.find(']', open == std::string_view::npos ? 0 : open);
    if (open == std::string_view::npos || close == std::string_view::npos) return;
    AddAddresses(line.substr(open + 1, close - open - 1), &data->siteAddresses);
}

// A text report names its domain only in the steps: "Pinging www.example.com [x]".
void ReadDomainName(const CStepRecord& step, CPersonalData* data) {
    if (!data->domain.empty() || step.step != EReportStep::kPing) return;
    for (std::string_view line : Lines(step.text)) {
        const size_t open = line.find(" [");
        if (open == std::string_view::npos) continue;
        const std::string_view before = line.substr(0, open);
        data->domain = std::string(before.substr(before.rfind(' ') + 1));
        for (char& ch : data->domain)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return;
    }
}

void ReadSiteAddresses(const CStepRecord& step, const std::string& domain, CPersonalData* data) {
    const std::vector<std::string_view> lines = Lines(step.text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        switch (step.step) {
            case EReportStep::kFtpPort:
            case EReportStep::kHttpPort:
            case EReportStep::kPing:
            case EReportStep::kTracert:
            case EReportStep::kPathStatistics:
                AddSiteLine(line, i < 4, domain, data);
                break;
            case EReportStep::kDnsAnswers: {
                const std::string_view trimmed = Trim(line);
                if (trimmed.rfind("A ", 0) == 0 || trimmed.rfind("AAAA ", 0) == 0)
                    AddAddresses(trimmed.substr(trimmed.find(' ')), &data->siteAddresses);
                break;
            }
            case EReportStep::kIpv6:
                if (line.size() > 2 && line.substr(line.size() - 2) == "：")
                    AddAddresses(line, &data->siteAddresses);
                break;
            default:
                return;
        }
    }
}

void AddFacts(const CReport& report, CPersonalData* data) {
    for (const CStepRecord& step : report.steps) {
        if (data->hostName.empty()) data->hostName = step.ipconfig.hostName;
        for (const CAdapterFacts& adapter : step.ipconfig.adapters) {
            for (const CTextToken& token : FindTokens(adapter.mac, CharStarts(adapter.mac)))
                if (token.kind == ETokenKind::kMac) data->ownMacs.insert(token.value);
            for (const auto* list : {&adapter.ipv4, &adapter.ipv6})
                for (const std::string& address : *list) AddAddresses(address, &data->ownAddresses);
        }
        for (const CDnsRecordFacts& record : step.dns.records)
            if (record.type == "A" || record.type == "AAAA")
                AddAddresses(record.value, &data->siteAddresses);
    }
}

}  // namespace

CPersonalData CollectPersonalData(const CReport& report) {
    CPersonalData data;
    data.domain = report.domain;
    for (char& ch : data.domain)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const CStepRecord& step : report.steps) ReadDomainName(step, &data);
    for (const CStepRecord& step : report.steps) {
        if (step.step == EReportStep::kIpconfig) ReadIpconfig(step.text, &data);
        ReadSiteAddresses(step, data.domain, &data);
        ReadUserNames(step.text, &data);
        for (const CTextToken& token : FindTokens(step.text, CharStarts(step.text)))
            if (token.kind == ETokenKind::kMac) data.otherMacs.insert(token.value);
    }
    AddFacts(report, &data);
    for (const std::string& mac : data.ownMacs) data.otherMacs.erase(mac);
    return data;
}
