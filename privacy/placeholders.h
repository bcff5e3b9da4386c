// The placeholder words of one report: the same value gets the same word everywhere,
// numbered in the order the values first appear. A word never matches text the report
// already holds: when the report has a prefix somewhere, that prefix gets a tag of
// capital letters ("局域网地址A1") that it does not have.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "privacy/redaction.h"

enum class EPlaceholder {
    kOwnMac,    // "本机MAC1"
    kOtherMac,  // "MAC地址1"
    kDeviceId,  // "本机DUID1"
    kOwnIpv4,   // "本机地址1"
    kOwnIpv6,   // "本机IPv6地址1"
    kLanIpv4,   // "局域网地址1"
    kLanIpv6,   // "局域网IPv6地址1"
    kHostName,  // "本机名"
    kUserName,  // "用户名", then "用户名2"
    kSecret,    // "密码"
    kCount,
};

class CPlaceholders {
public:
    // reportText: all of the report's text, to steer clear of.
    explicit CPlaceholders(std::string_view reportText);

    // The word for value (lower case for addresses and MACs) of the kind.
    std::string For(EPlaceholder kind, const std::string& value);
    // Distinct values replaced so far and places of names replaced.
    CRedactionCounts Counts() const { return m_counts; }
    void CountPlace(EPlaceholder kind);

private:
    std::string m_prefixes[static_cast<int>(EPlaceholder::kCount)];
    std::map<std::string, std::string> m_words[static_cast<int>(EPlaceholder::kCount)];
    CRedactionCounts m_counts;
};
