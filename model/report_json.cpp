#include "model/report_json.h"

#include <nlohmann/json.hpp>

#include "model/report_fields.h"
#include "model/step_facts.h"

const char kReportSchemaId[] = "tollvane-report/1";

namespace {

using json = nlohmann::ordered_json;

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
        text += kBase64[value >> 18 & 63];
        text += kBase64[value >> 12 & 63];
        text += i + 1 < bytes.size() ? kBase64[value >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? kBase64[value & 63] : '=';
    }
    return text;
}

bool FromBase64(std::string_view text, std::string* bytes) {
    unsigned value = 0;
    int bits = 0;
    for (char ch : text) {
        if (ch == '=') break;
        const char* at = std::char_traits<char>::find(kBase64, 64, ch);
        if (!at) return false;
        value = (value << 6) | static_cast<unsigned>(at - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            *bytes += static_cast<char>(value >> bits & 0xFF);
        }
    }
    return true;
}

// Text that does not convert keeps its ASCII and shows '?' for the rest.
std::string Lossy(std::string_view text) {
    std::string ascii(text);
    for (char& ch : ascii)
        if (static_cast<unsigned char>(ch) >= 0x80) ch = '?';
    return ascii;
}

std::string ToUtf8(const CTextCodec& codec, std::string_view gbk, bool* exact = nullptr) {
    std::string utf8, back;
    const bool converted = codec.gbkToUtf8(gbk, &utf8);
    if (exact) *exact = converted && codec.utf8ToGbk(utf8, &back) && back == gbk;
    return converted ? utf8 : Lossy(gbk);
}

std::string ToGbk(const CTextCodec& codec, std::string_view utf8) {
    std::string gbk;
    return codec.utf8ToGbk(utf8, &gbk) ? gbk : Lossy(utf8);
}

// Text of the report's own bytes: UTF-8 in key, and the exact GBK bytes in key + "Gbk"
// (base64) when UTF-8 cannot carry them back.
void PutText(const CTextCodec& codec, json& out, const char* key, const std::string& gbk) {
    bool exact = false;
    out[key] = ToUtf8(codec, gbk, &exact);
    if (!exact) out[std::string(key) + "Gbk"] = Base64(gbk);
}

std::string GetText(const CTextCodec& codec, const json& in, const char* key) {
    const auto raw = in.find(std::string(key) + "Gbk");
    std::string bytes;
    if (raw != in.end() && FromBase64(raw->get<std::string>(), &bytes)) return bytes;
    const auto text = in.find(key);
    return text == in.end() ? std::string() : ToGbk(codec, text->get<std::string>());
}

const char* const kWebFailureNames[] = {"none", "name-unresolved", "silent", "other"};

struct CFactWriter {
    const CTextCodec& codec;
    json& out;

    void operator()(const char* key, const std::string& value) { out[key] = ToUtf8(codec, value); }
    void operator()(const char* key, const std::vector<std::string>& values) {
        json list = json::array();
        for (const std::string& value : values) list.push_back(ToUtf8(codec, value));
        out[key] = list;
    }
    void operator()(const char* key, bool value) { out[key] = value; }
    void operator()(const char* key, EWebFailure value) {
        out[key] = kWebFailureNames[static_cast<int>(value)];
    }
    void operator()(const char* key, int value) { out[key] = value; }
    void operator()(const char* key, long value) { out[key] = value; }
    void operator()(const char* key, double value) { out[key] = value; }
    void operator()(const char* key, const std::vector<double>& values) { out[key] = values; }
    void operator()(const char* key, const std::optional<long>& value) {
        out[key] = value ? json(*value) : json(nullptr);
    }
    template <class T> void operator()(const char* key, const T& facts) { out[key] = Object(facts); }
    template <class T> void operator()(const char* key, const std::optional<T>& facts) {
        out[key] = facts ? Object(*facts) : json(nullptr);
    }
    template <class T> void operator()(const char* key, const std::vector<T>& items) {
        json list = json::array();
        for (const T& item : items) list.push_back(Object(item));
        out[key] = list;
    }
    template <class T> json Object(const T& facts) {
        json object = json::object();
        CFactWriter inner{codec, object};
        Visit(inner, const_cast<T&>(facts));
        return object;
    }
};

// Members missing from the object keep their defaults; a member of the wrong type is
// an error (nlohmann's type_error).
struct CFactReader {
    const CTextCodec& codec;
    const json& in;

    const json* At(const char* key) {
        const auto found = in.find(key);
        return found == in.end() || found->is_null() ? nullptr : &*found;
    }
    void operator()(const char* key, std::string& value) {
        if (const json* at = At(key)) value = ToGbk(codec, at->get<std::string>());
    }
    void operator()(const char* key, std::vector<std::string>& values) {
        if (const json* at = At(key))
            for (const json& item : *at) values.push_back(ToGbk(codec, item.get<std::string>()));
    }
    template <class N, class = std::enable_if_t<std::is_arithmetic<N>::value>>
    void operator()(const char* key, N& value) {
        if (const json* at = At(key)) value = at->get<N>();
    }
    void operator()(const char* key, EWebFailure& value) {
        const json* at = At(key);
        for (int kind = 0; at && kind < 4; ++kind)
            if (at->get<std::string>() == kWebFailureNames[kind]) value = static_cast<EWebFailure>(kind);
    }
    void operator()(const char* key, std::vector<double>& values) {
        if (const json* at = At(key)) values = at->get<std::vector<double>>();
    }
    void operator()(const char* key, std::optional<long>& value) {
        if (const json* at = At(key)) value = at->get<long>();
    }
    template <class T, class = std::enable_if_t<std::is_class<T>::value>, class = void>
    void operator()(const char* key, T& facts) {
        if (const json* at = At(key)) Fill(*at, &facts);
    }
    template <class T> void operator()(const char* key, std::optional<T>& facts) {
        if (const json* at = At(key)) Fill(*at, &facts.emplace());
    }
    template <class T> void operator()(const char* key, std::vector<T>& items) {
        if (const json* at = At(key))
            for (const json& item : *at) Fill(item, &items.emplace_back());
    }
    template <class T> void Fill(const json& object, T* facts) {
        if (!object.is_object()) return;
        CFactReader inner{codec, object};
        Visit(inner, *facts);
    }
};

json StepJson(const CStepRecord& record, const CTextCodec& codec) {
    json step = {{"number", record.number}};
    PutText(codec, step, "name", record.name);
    PutText(codec, step, "ended", record.ended);
    step["ok"] = record.ok;
    if (!record.complete) step["complete"] = false;
    PutText(codec, step, "text", record.text);
    json facts = json::object();
    CFactWriter writer{codec, facts};
    VisitStepFacts(writer, const_cast<CStepRecord&>(record));
    step["facts"] = facts;
    return step;
}

CStepRecord StepOfJson(const json& step, const CTextCodec& codec) {
    CStepRecord record;
    record.number = step.at("number").get<int>();
    record.name = GetText(codec, step, "name");
    record.ended = GetText(codec, step, "ended");
    record.step = StepOfName(record.name);
    record.ok = step.at("ok").get<bool>();
    record.complete = step.value("complete", true);
    record.text = GetText(codec, step, "text");
    const auto facts = step.find("facts");
    if (facts == step.end() || facts->empty()) {
        ReadStepFacts(&record);
        record.ok = step.at("ok").get<bool>();
        return record;
    }
    CFactReader reader{codec, *facts};
    VisitStepFacts(reader, record);
    return record;
}

const char* SeverityKey(ESeverity severity) {
    return severity == ESeverity::kCritical  ? "critical"
           : severity == ESeverity::kWarning ? "warning"
                                             : "info";
}

ESeverity SeverityOfKey(const std::string& key) {
    return key == "critical" ? ESeverity::kCritical
           : key == "warning" ? ESeverity::kWarning
                              : ESeverity::kInfo;
}

}  // namespace

std::string WriteReportJson(const CReport& report, const CTextCodec& codec) {
    json out = {{"schema", kReportSchemaId}, {"version", report.version}};
    PutText(codec, out, "domain", report.domain);
    out["steps"] = json::array();
    for (const CStepRecord& record : report.steps) out["steps"].push_back(StepJson(record, codec));
    out["findings"] = json::array();
    for (const CFinding& finding : report.findings) {
        out["findings"].push_back({{"id", finding.id},
                                   {"severity", SeverityKey(finding.severity)},
                                   {"step", finding.step},
                                   {"text", ToUtf8(codec, finding.text)}});
    }
    if (!report.isReport) out["isReport"] = false;
    if (!report.leading.empty()) PutText(codec, out, "leading", report.leading);
    if (!report.trailing.empty()) PutText(codec, out, "trailing", report.trailing);
    if (report.lfOnly) out["lineEnds"] = "lf";
    return out.dump(1) + "\n";
}

bool ReadReportJson(std::string_view text, const CTextCodec& codec, CReport* report,
                    std::string* error) {
    const json in = json::parse(text.begin(), text.end(), nullptr, false);
    if (in.is_discarded() || !in.is_object()) {
        *error = "不是JSON格式的检测报告";
        return false;
    }
    if (in.value("schema", std::string()) != kReportSchemaId) {
        *error = std::string("不是") + kReportSchemaId + "格式的检测报告";
        return false;
    }
    try {
        CReport read;
        read.version = in.value("version", std::string());
        read.domain = GetText(codec, in, "domain");
        for (const json& step : in.at("steps")) read.steps.push_back(StepOfJson(step, codec));
        for (const json& finding : in.at("findings")) {
            read.findings.push_back({finding.at("id").get<std::string>(),
                                     SeverityOfKey(finding.at("severity").get<std::string>()),
                                     finding.at("step").get<int>(),
                                     ToGbk(codec, finding.at("text").get<std::string>())});
        }
        read.isReport = in.value("isReport", true);
        read.leading = GetText(codec, in, "leading");
        read.trailing = GetText(codec, in, "trailing");
        read.lfOnly = in.value("lineEnds", std::string()) == "lf";
        *report = std::move(read);
    } catch (const json::exception&) {
        *error = "JSON检测报告的内容不完整或类型不对";
        return false;
    }
    return true;
}
