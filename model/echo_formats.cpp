// ping, psping and tracert output, as the Windows tools print it in English or Chinese
// and as the stand-ins copy it.
#include "model/step_formats.h"
#include "model/text_scan.h"

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
            hop->timesMs.push_back(ms);
            ++i;
        } else if (word == "*") {
            hop->timesMs.push_back(-1);
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

namespace {

// The times and the place after the loss and sent columns, from words[at].
void ReadPathTimes(const std::vector<std::string_view>& words, size_t at, CPathHop* hop) {
    double* const times[] = {&hop->lastMs, &hop->averageMs, &hop->bestMs, &hop->worstMs,
                             &hop->deviationMs};
    if (words.size() < at + 5) return;
    for (size_t i = 0; i < 5; ++i) {
        double value = 0;
        if (ReadNumber(words[at + i], &value)) *times[i] = value;
    }
    for (size_t i = at + 5; i < words.size(); ++i)
        hop->label += (i > at + 5 ? " " : "") + std::string(words[i]);
}

// "        61.140.0.9             12.3 ..." under a hop: another address of the same TTL.
bool ReadBalancedRow(const std::vector<std::string_view>& words, const std::vector<CPathHop>& hops,
                     CPathHop* hop) {
    if (hops.empty() || words.size() < 6 || !LooksLikeAddress(words[0])) return false;
    hop->number = hops.back().number;
    hop->address = std::string(words[0]);
    hop->lossPercent = hops.back().lossPercent;
    hop->sameTtl = true;
    ReadPathTimes(words, 1, hop);
    return true;
}

}  // namespace

// "  3.  61.140.0.1   10.0.0%  30  12.3  13.0  11.8  25.4  2.9  中国 广东省 广州市 电信"
std::vector<CPathHop> ReadPathTable(std::string_view body) {
    std::vector<CPathHop> hops;
    for (std::string_view line : SplitLines(body)) {
        const std::vector<std::string_view> words = SplitWords(line);
        CPathHop hop;
        if (line.compare(0, 6, "      ") == 0 && ReadBalancedRow(words, hops, &hop)) {
            hops.push_back(hop);
            continue;
        }
        if (words.size() < 3 || words[0].size() < 2 || words[0].back() != '.' ||
            !IsHopNumber(words[0].substr(0, words[0].size() - 1)) || words[2].back() != '%') {
            continue;
        }
        hop.number = std::stoi(std::string(words[0]));
        hop.address = std::string(words[1]);
        if (!ReadNumber(words[2], &hop.lossPercent)) continue;
        double sent = 0;
        if (words.size() >= 4 && ReadNumber(words[3], &sent)) hop.sent = static_cast<int>(sent);
        ReadPathTimes(words, 4, &hop);
        hops.push_back(hop);
    }
    return hops;
}
