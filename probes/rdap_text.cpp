#include "probes/rdap_text.h"

#include <nlohmann/json.hpp>

#include "platform/utf8_gbk.h"
#include "probes/peer_text.h"

using nlohmann::json;

namespace {

// The string at key, or empty when it is absent or no string.
std::string StringAt(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The array at key, or an empty one, so absent members need no checks.
const json& ArrayAt(const json& object, const char* key) {
    static const json empty = json::array();
    const auto found = object.find(key);
    return found != object.end() && found->is_array() ? *found : empty;
}

bool HasRole(const json& entity, const char* role) {
    for (const json& item : ArrayAt(entity, "roles")) {
        if (item.is_string() && item.get<std::string>() == role) return true;
    }
    return false;
}

// The text value of a vCard property ("fn", "email", "tel") of the entity's jCard.
std::string VcardValue(const json& entity, const char* property) {
    const json& card = ArrayAt(entity, "vcardArray");
    if (card.size() < 2 || !card[1].is_array()) return std::string();
    for (const json& item : card[1]) {
        if (!item.is_array() || item.size() < 4 || item[0] != property) continue;
        if (!item[3].is_string()) continue;
        std::string value = item[3].get<std::string>();
        if (value.compare(0, 4, "tel:") == 0) value.erase(0, 4);
        return value;
    }
    return std::string();
}

void ReadEvents(const json& answer, CRdapRecord* record) {
    for (const json& event : ArrayAt(answer, "events")) {
        if (!event.is_object()) continue;
        const std::string action = StringAt(event, "eventAction");
        const std::string date = StringAt(event, "eventDate");
        if (action == "registration") record->registered = date;
        if (action == "expiration") record->expires = date;
        if (action == "last changed") record->changed = date;
    }
}

void ReadAbuse(const json& entity, CRdapRecord* record) {
    if (!record->abuseEmail.empty() || !record->abusePhone.empty()) return;
    record->abuseEmail = VcardValue(entity, "email");
    record->abusePhone = VcardValue(entity, "tel");
}

void ReadEntities(const json& answer, CRdapRecord* record) {
    for (const json& entity : ArrayAt(answer, "entities")) {
        if (!entity.is_object()) continue;
        if (!HasRole(entity, "registrar")) continue;
        record->registrar = VcardValue(entity, "fn");
        if (record->registrar.empty()) record->registrar = StringAt(entity, "handle");
        for (const json& inner : ArrayAt(entity, "entities")) {
            if (inner.is_object() && HasRole(inner, "abuse")) ReadAbuse(inner, record);
        }
    }
}

// Only a link that says it leads to RDAP JSON, or says nothing of its type.
std::string RelatedRdapUrl(const json& answer) {
    for (const json& link : ArrayAt(answer, "links")) {
        if (!link.is_object() || StringAt(link, "rel") != "related") continue;
        const std::string type = StringAt(link, "type");
        if (!type.empty() && type != "application/rdap+json") continue;
        const std::string href = StringAt(link, "href");
        if (href.compare(0, 8, "https://") == 0 || href.compare(0, 7, "http://") == 0) return href;
    }
    return std::string();
}

bool StartsWith(const std::string& text, const char* head) {
    return text.compare(0, std::char_traits<char>::length(head), head) == 0;
}

void ReadLists(const json& answer, CRdapRecord* record) {
    for (const json& status : ArrayAt(answer, "status")) {
        if (status.is_string()) record->status.push_back(status.get<std::string>());
    }
    for (const json& server : ArrayAt(answer, "nameservers")) {
        if (!server.is_object()) continue;
        const std::string name = StringAt(server, "ldhName");
        if (!name.empty()) record->nameservers.push_back(name);
    }
}

// GBK text of one field on one line.
std::string OneLine(const std::string& utf8) {
    std::string text = utf8;
    for (char& ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte == 0x7F) ch = ' ';
    }
    return Utf8ToGbkLossy(text);
}

void AddLine(CString* lines, const char* label, const std::string& value) {
    if (value.empty()) return;
    *lines += label;
    *lines += CString(OneLine(value));
    *lines += "\r\n";
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// Walks the answer without building it, counting how deep it goes and how many values it
// holds: the tree nlohmann builds costs tens of bytes per value, so an answer of nothing
// but brackets would otherwise cost some 80 times its size.
class CJsonShape : public nlohmann::json_sax<json> {
public:
    bool null() override { return Value(); }
    bool boolean(bool) override { return Value(); }
    bool number_integer(number_integer_t) override { return Value(); }
    bool number_unsigned(number_unsigned_t) override { return Value(); }
    bool number_float(number_float_t, const string_t&) override { return Value(); }
    bool string(string_t&) override { return Value(); }
    bool binary(binary_t&) override { return Value(); }
    bool start_object(std::size_t) override { return Open(); }
    bool key(string_t&) override { return true; }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

    bool TooLarge() const { return m_tooLarge; }

private:
    bool Value() {
        m_tooLarge = m_tooLarge || ++m_values > kRdapMaxJsonValues;
        return !m_tooLarge;
    }
    bool Open() {
        m_tooLarge = m_tooLarge || ++m_depth > kRdapMaxJsonDepth;
        return Value();
    }
    bool Close() {
        --m_depth;
        return true;
    }

    int m_depth = 0;
    long m_values = 0;
    bool m_tooLarge = false;
};

}  // namespace

ERdapParse ParseRdapDomain(const std::string& text, CRdapRecord* record) {
    CJsonShape shape;
    const bool wellFormed = json::sax_parse(text, &shape);
    if (shape.TooLarge()) return ERdapParse::kTooComplex;
    if (!wellFormed) return ERdapParse::kNotJson;
    const json answer = json::parse(text, nullptr, false);
    if (answer.is_discarded()) return ERdapParse::kNotJson;
    if (!answer.is_object() || StringAt(answer, "objectClassName") != "domain") {
        return ERdapParse::kNotDomain;
    }
    *record = CRdapRecord();
    record->domain = StringAt(answer, "ldhName");
    if (record->domain.empty()) record->domain = StringAt(answer, "unicodeName");
    ReadEvents(answer, record);
    ReadEntities(answer, record);
    ReadLists(answer, record);
    record->relatedUrl = RelatedRdapUrl(answer);
    return ERdapParse::kOk;
}

void FillRdapGaps(CRdapRecord* registrar, const CRdapRecord& registry) {
    for (auto field : {&CRdapRecord::domain, &CRdapRecord::registrar, &CRdapRecord::registered,
                       &CRdapRecord::expires, &CRdapRecord::changed}) {
        if ((registrar->*field).empty()) registrar->*field = registry.*field;
    }
    if (registrar->status.empty()) registrar->status = registry.status;
    if (registrar->nameservers.empty()) registrar->nameservers = registry.nameservers;
    if (registrar->abuseEmail.empty() && registrar->abusePhone.empty()) {
        registrar->abuseEmail = registry.abuseEmail;
        registrar->abusePhone = registry.abusePhone;
    }
}

bool MayFollowRdapLink(const std::string& url, bool plainHttpAllowed) {
    if (url.empty() || url.size() > kRdapMaxLinkBytes) return false;
    for (const char ch : url) {
        if (ch <= 0x20 || ch >= 0x7F) return false;
    }
    return StartsWith(url, "https://") || (plainHttpAllowed && StartsWith(url, "http://"));
}

CString RdapRecordLines(const CRdapRecord& record, const CString& url) {
    CString lines = "（whois服务器无应答，以下信息来自RDAP：" + PeerUrlText(url) + "）\r\n";
    AddLine(&lines, "域名：", record.domain);
    AddLine(&lines, "注册商：", record.registrar);
    AddLine(&lines, "注册日期：", record.registered);
    AddLine(&lines, "到期日期：", record.expires);
    AddLine(&lines, "最后更新：", record.changed);
    AddLine(&lines, "状态：", Joined(record.status));
    for (const std::string& server : record.nameservers) AddLine(&lines, "DNS服务器：", server);
    AddLine(&lines, "注册商投诉邮箱：", record.abuseEmail);
    AddLine(&lines, "注册商投诉电话：", record.abusePhone);
    return lines;
}
