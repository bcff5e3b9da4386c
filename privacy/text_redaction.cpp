// See text_redaction.h.
#include "privacy/text_redaction.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "model/address_kind.h"
#include "privacy/text_tokens.h"

namespace {

// The word kind for an address, or none when it stays: loopback and unspecified
// addresses are the same on every machine, the tested site's are what the report is
// about, and public ones are the Internet's, unless the machine's own or made from one
// of its MACs.
std::optional<EPlaceholder> AddressWord(const CTextToken& token, const CPersonalData& data) {
    const bool v4 = token.kind == ETokenKind::kIpv4;
    const EAddressKind kind = ClassifyAddress(token.value);
    if (kind == EAddressKind::kLoopback || kind == EAddressKind::kUnspecified) return std::nullopt;
    const EPlaceholder own = v4 ? EPlaceholder::kOwnIpv4 : EPlaceholder::kOwnIpv6;
    const EPlaceholder lan = v4 ? EPlaceholder::kLanIpv4 : EPlaceholder::kLanIpv6;
    if (data.ownAddresses.count(token.value)) return own;
    const std::string mac = v4 ? std::string() : EmbeddedMac(token.value);
    if (!mac.empty() && data.ownMacs.count(mac)) return own;
    if (!mac.empty() && data.otherMacs.count(mac)) return lan;
    if (data.siteAddresses.count(token.value)) return std::nullopt;
    if (IsLocalNetworkKind(kind)) return lan;
    return std::nullopt;
}

std::optional<EPlaceholder> TokenWord(const CTextToken& token, const CPersonalData& data) {
    switch (token.kind) {
        case ETokenKind::kMac:
            return data.ownMacs.count(token.value) ? EPlaceholder::kOwnMac
                                                   : EPlaceholder::kOtherMac;
        case ETokenKind::kDeviceId:
            return EPlaceholder::kDeviceId;
        case ETokenKind::kBareHex:
            if (data.ownMacs.count(token.value)) return EPlaceholder::kOwnMac;
            if (data.otherMacs.count(token.value)) return EPlaceholder::kOtherMac;
            return std::nullopt;
        default:
            return AddressWord(token, data);
    }
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

// Where the tested domain and the names under it stand: a name inside them is the
// domain's, not the user's.
std::vector<std::pair<size_t, size_t>> DomainSpans(std::string_view text,
                                                   const std::string& domain) {
    std::vector<std::pair<size_t, size_t>> spans;
    if (domain.empty()) return spans;
    const std::string lowered = Lowered(text), name = Lowered(domain);
    for (size_t at = lowered.find(name); at != std::string::npos; at = lowered.find(name, at + 1)) {
        // Names under the domain ("www.", "tvbox.") are the domain's too.
        size_t start = at;
        while (start > 0 && (std::isalnum(static_cast<unsigned char>(lowered[start - 1])) ||
                             lowered[start - 1] == '-' || lowered[start - 1] == '.'))
            --start;
        spans.emplace_back(start, at + name.size());
    }
    return spans;
}

bool Inside(const std::vector<std::pair<size_t, size_t>>& spans, size_t at, size_t size) {
    for (const auto& span : spans)
        if (at < span.second && at + size > span.first) return true;
    return false;
}

// The names of data standing in text, with their words, places counted; a place is
// taken once (a user named as the computer is).
void AddNames(std::string_view text, const std::vector<bool>& starts, const CPersonalData& data,
              CPlaceholders* words, std::vector<CReplacement>* out) {
    const auto domain = DomainSpans(text, data.domain);
    std::vector<std::pair<size_t, size_t>> taken;
    auto add = [&](EPlaceholder kind, const std::string& name, size_t at) {
        if (Inside(domain, at, name.size()) || Inside(taken, at, name.size())) return;
        taken.emplace_back(at, at + name.size());
        out->push_back({at, name.size(), words->For(kind, Lowered(name))});
        words->CountPlace(kind);
    };
    // A one-letter name would take every such word of the text; it names nobody anyway.
    if (data.hostName.size() >= 2)
        for (size_t at : FindNameWords(text, starts, data.hostName))
            add(EPlaceholder::kHostName, data.hostName, at);
    for (const std::string& user : data.userNames)
        if (user.size() >= 2)
            for (size_t at : FindNameWords(text, starts, user))
                add(EPlaceholder::kUserName, user, at);
    // A password only where it stands as one, between "user:" and "@".
    for (const std::string& secret : data.secrets) {
        const std::string framed = ":" + secret + "@";
        for (size_t at = text.find(framed); at != std::string_view::npos;
             at = text.find(framed, at + 1))
            if (starts[at]) add(EPlaceholder::kSecret, secret, at + 1);
    }
}

}  // namespace

std::string ApplyReplacements(std::string_view text, std::vector<CReplacement> replacements) {
    std::stable_sort(replacements.begin(), replacements.end(),
                     [](const CReplacement& a, const CReplacement& b) { return a.at < b.at; });
    std::string out;
    size_t pos = 0;
    for (const CReplacement& r : replacements) {
        if (r.at < pos) continue;
        out.append(text.substr(pos, r.at - pos));
        out += r.with;
        pos = r.at + r.size;
        size_t blanks = 0;
        while (pos + blanks < text.size() && text[pos + blanks] == ' ') ++blanks;
        const bool gap = blanks >= 2 && pos + blanks < text.size() && text[pos + blanks] != '\r' &&
                         text[pos + blanks] != '\n';
        if (!gap) continue;
        const long wanted = static_cast<long>(blanks + r.size) - static_cast<long>(r.with.size());
        out.append(static_cast<size_t>(std::max(1L, wanted)), ' ');
        pos += blanks;
    }
    out.append(text.substr(pos));
    return out;
}

std::string RedactText(std::string_view text, const CPersonalData& data, CPlaceholders* words) {
    const std::vector<bool> starts = CharStarts(text);
    std::vector<CReplacement> replacements;
    for (const CTextToken& token : FindTokens(text, starts)) {
        const std::optional<EPlaceholder> kind = TokenWord(token, data);
        if (kind) replacements.push_back({token.at, token.size, words->For(*kind, token.value)});
    }
    AddNames(text, starts, data, words, &replacements);
    return ApplyReplacements(text, std::move(replacements));
}

bool StillHoldsPersonalData(std::string_view text, const CPersonalData& data) {
    const std::vector<bool> starts = CharStarts(text);
    for (const CTextToken& token : FindTokens(text, starts)) {
        const bool mac = token.kind == ETokenKind::kMac || token.kind == ETokenKind::kBareHex;
        if (mac && data.ownMacs.count(token.value)) return true;
        if (!mac && data.ownAddresses.count(token.value) && AddressWord(token, data)) return true;
    }
    const auto domain = DomainSpans(text, data.domain);
    std::vector<std::string> names = data.userNames;
    if (data.hostName.size() >= 2) names.push_back(data.hostName);
    for (const std::string& name : names) {
        if (name.size() < 2) continue;
        for (size_t at : FindNameWords(text, starts, name))
            if (!Inside(domain, at, name.size())) return true;
    }
    return false;
}
