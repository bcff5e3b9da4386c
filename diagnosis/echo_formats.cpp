// ping, psping and tracert output, as the Windows tools print it in English or Chinese
// and as the stand-ins copy it.
#include "diagnosis/step_formats.h"
#include "diagnosis/text_scan.h"

namespace {

double NumberAt(std::string_view text, size_t at) {
    double value = -1;
    if (at == std::string_view::npos || !ReadNumber(text.substr(at), &value)) return -1;
    return value;
}

bool IsHopNumber(std::string_view word) {
    if (word.empty() || word.size() > 3) return false;
    for (char ch : word)
        if (ch < '0' || ch > '9') return false;
    return true;
}

std::string_view Unbracketed(std::string_view word) {
    if (word.size() > 2 && word.front() == '[' && word.back() == ']')
        return word.substr(1, word.size() - 2);
    return word;
}

// "  3    12 ms    <1 ms     *     10.0.0.1" in either language ("毫秒" for ms).
bool ReadHopLine(std::string_view line, CTraceHop* hop) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.size() < 2 || !IsHopNumber(words[0])) return false;
    hop->number = std::stoi(std::string(words[0]));
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        double ms = 0;
        size_t used = 0;
        if (i + 1 < words.size() && (words[i + 1] == "ms" || words[i + 1] == "毫秒") &&
            ReadNumber(word, &ms, &used) && used == word.size()) {
            ++hop->answered;
            ++i;
        } else if (hop->address.empty() && LooksLikeAddress(Unbracketed(word))) {
            hop->address = std::string(Unbracketed(word));
        }
    }
    return true;
}

std::string TraceTarget(const std::vector<std::string_view>& lines) {
    for (size_t i = 0; i < lines.size() && i < 4; ++i) {
        for (std::string_view word : SplitWords(lines[i])) {
            if (LooksLikeAddress(Unbracketed(word))) return std::string(Unbracketed(word));
        }
    }
    return std::string();
}

}  // namespace

CEchoStats ReadEchoStats(std::string_view body) {
    CEchoStats stats;
    const size_t sent = AfterLast(body, {"Sent = ", "已发送 = "});
    if (sent == std::string_view::npos) return stats;
    const std::string_view tail = body.substr(sent);
    const double sentCount = NumberAt(tail, 0);
    const double received = NumberAt(tail, AfterLast(tail, {"Received = ", "已接收 = "}));
    if (sentCount < 0 || received < 0) return stats;
    stats.found = true;
    stats.sent = static_cast<int>(sentCount);
    stats.received = static_cast<int>(received);
    stats.averageMs = NumberAt(tail, AfterLast(tail, {"Average = ", "平均 = "}));
    return stats;
}

bool SaysHostNotFound(std::string_view body) {
    for (std::string_view words :
         {"could not find host", "找不到主机", "Unable to resolve target system name",
          "无法解析目标系统名称", "Cannot resolve "}) {
        if (body.find(words) != std::string_view::npos) return true;
    }
    return false;
}

CTrace ReadTrace(std::string_view body) {
    CTrace trace;
    const std::vector<std::string_view> lines = SplitLines(body);
    trace.target = TraceTarget(lines);
    for (std::string_view line : lines) {
        CTraceHop hop;
        if (ReadHopLine(line, &hop)) trace.hops.push_back(hop);
    }
    return trace;
}

// "  3.  61.140.0.1   10.0.0%  30  12.3  13.0  11.8  25.4  2.9  中国 广东省 广州市 电信"
std::vector<CPathHop> ReadPathTable(std::string_view body) {
    std::vector<CPathHop> hops;
    for (std::string_view line : SplitLines(body)) {
        const std::vector<std::string_view> words = SplitWords(line);
        if (words.size() < 3 || words[0].size() < 2 || words[0].back() != '.' ||
            !IsHopNumber(words[0].substr(0, words[0].size() - 1)) || words[2].back() != '%') {
            continue;
        }
        CPathHop hop;
        hop.number = std::stoi(std::string(words[0]));
        hop.address = std::string(words[1]);
        if (!ReadNumber(words[2], &hop.lossPercent)) continue;
        double average = 0;
        if (words.size() >= 9 && ReadNumber(words[5], &average)) hop.averageMs = average;
        for (size_t i = 9; i < words.size(); ++i)
            hop.label += (i > 9 ? " " : "") + std::string(words[i]);
        hops.push_back(hop);
    }
    return hops;
}
