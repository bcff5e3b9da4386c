#include "model/site_timing_text.h"

#include <algorithm>
#include <cmath>

namespace {

const char kHeadingStart[] = "网站访问耗时：";
const char kHeadingMiddle[] = "，每个地址各请求";
const char kHeadingEnd[] = "次，单位ms，中位数/最差";
const char kFailedMiddle[] = "次失败：";
const char kHeadersHeading[] = "CDN与缓存相关响应头：";
const char kNoHeaders[] = "未见CDN与缓存相关响应头";
const char kNone[] = "-";

// The table's columns. Every label and value is ASCII or GBK, whose bytes are as wide
// as the characters are on screen, so padding by bytes lines the columns up.
const int kSchemeWidth = 6;
const int kFamilyWidth = 5;
const int kLeastAddressWidth = 15;
const int kStatusWidth = 4;
const int kPhaseWidth = 15;
const char* const kPhaseLabels[] = {"DNS", "TCP连接", "TLS握手", "首字节", "总耗时"};

std::string Padded(std::string_view text, size_t width, bool right = false) {
    const std::string pad(text.size() < width ? width - text.size() : 0, ' ');
    return right ? pad + std::string(text) : std::string(text) + pad;
}

// Tenths of a millisecond, written without the C library so no locale bends the point.
std::string Tenths(double ms) {
    if (ms < 0) return kNone;
    const long long tenths = std::llround(ms * 10);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

bool ReadTenths(std::string_view text, double* ms) {
    if (text == kNone) {
        *ms = -1;
        return true;
    }
    const size_t point = text.find('.');
    if (point == std::string_view::npos || point == 0 || point + 2 != text.size() ||
        point > 9)
        return false;
    long long whole = 0;
    for (size_t i = 0; i < point; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        whole = whole * 10 + (text[i] - '0');
    }
    const char tenth = text[point + 1];
    if (tenth < '0' || tenth > '9') return false;
    *ms = static_cast<double>(whole) + (tenth - '0') / 10.0;
    return true;
}

std::string PhaseCell(const CPhaseFacts& phase) {
    return Tenths(phase.medianMs) + "/" + Tenths(phase.worstMs);
}

CPhaseFacts* PhaseOf(CSiteTimingRowFacts& row, int index) {
    CPhaseFacts* phases[] = {&row.dns, &row.connect, &row.tls, &row.firstByte, &row.total};
    return phases[index];
}

size_t AddressWidth(const CSiteTimingFacts& facts) {
    size_t width = kLeastAddressWidth;
    for (const CSiteTimingRowFacts& row : facts.rows) width = std::max(width, row.address.size());
    return width;
}

std::string HeaderLine(size_t addressWidth) {
    std::string line = Padded("协议", kSchemeWidth) + Padded("地址族", kFamilyWidth + 2) +
                       Padded("连接地址", addressWidth) + " " + Padded("状态", kStatusWidth);
    for (const char* label : kPhaseLabels) line += " " + Padded(label, kPhaseWidth, true);
    return line + "\r\n";
}

std::string RowLines(CSiteTimingRowFacts row, size_t addressWidth) {
    const std::string status = row.status > 0 ? std::to_string(row.status) : kNone;
    std::string line = Padded(row.scheme, kSchemeWidth) + Padded(row.family, kFamilyWidth + 2) +
                       Padded(row.address.empty() ? kNone : row.address, addressWidth) + " " +
                       Padded(status, kStatusWidth, true);
    for (int i = 0; i < 5; ++i) line += " " + Padded(PhaseCell(*PhaseOf(row, i)), kPhaseWidth, true);
    line += "\r\n";
    if (!row.failure.empty()) {
        line += "      " + std::to_string(row.requests) + "次中" +
                std::to_string(row.requests - row.answered) + kFailedMiddle + row.failure + "\r\n";
    }
    return line;
}

std::string HeaderLines(const CSiteTimingFacts& facts) {
    if (facts.headers.empty()) return std::string(kNoHeaders) + "\r\n";
    std::string text = std::string(kHeadersHeading) + "\r\n";
    for (const CSiteHeaderFacts& header : facts.headers) {
        text += "  " + header.scheme + " " + header.family + " " + header.name + ": " +
                header.value + "\r\n";
    }
    return text;
}

}  // namespace

std::string RenderSiteTimingText(const CSiteTimingFacts& facts) {
    std::string text = kHeadingStart + facts.domain + kHeadingMiddle +
                       std::to_string(facts.requestsEach) + kHeadingEnd + "\r\n";
    const size_t width = AddressWidth(facts);
    if (!facts.rows.empty()) text += HeaderLine(width);
    for (const CSiteTimingRowFacts& row : facts.rows) text += RowLines(row, width);
    for (const std::string& note : facts.familyNotes) text += note + "\r\n";
    return text + HeaderLines(facts);
}

namespace {

std::vector<std::string_view> Lines(std::string_view body) {
    std::vector<std::string_view> lines;
    while (!body.empty()) {
        const size_t end = body.find("\r\n");
        lines.push_back(body.substr(0, end));
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 2);
    }
    return lines;
}

// Blank-separated words; a table row has no blank inside a value.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        const size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(line.find(' ', start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

bool ReadCount(std::string_view text, int* value) {
    if (text.empty() || text.size() > 6) return false;
    int number = 0;
    for (const char ch : text) {
        if (ch < '0' || ch > '9') return false;
        number = number * 10 + (ch - '0');
    }
    *value = number;
    return true;
}

bool ReadHeading(std::string_view line, CSiteTimingFacts* facts) {
    const std::string_view start(kHeadingStart), middle(kHeadingMiddle), end(kHeadingEnd);
    const size_t at = line.rfind(middle);
    if (line.compare(0, start.size(), start) != 0 || at == std::string_view::npos ||
        line.size() < at + middle.size() + end.size() ||
        line.compare(line.size() - end.size(), end.size(), end) != 0)
        return false;
    facts->domain = std::string(line.substr(start.size(), at - start.size()));
    const size_t count = at + middle.size();
    return ReadCount(line.substr(count, line.size() - end.size() - count), &facts->requestsEach);
}

bool ReadRow(std::string_view line, CSiteTimingRowFacts* row) {
    const std::vector<std::string_view> words = Words(line);
    if (words.size() != 9 || (words[0] != "http" && words[0] != "https")) return false;
    if (words[1] != "IPv4" && words[1] != "IPv6") return false;
    row->scheme = std::string(words[0]);
    row->family = std::string(words[1]);
    row->address = words[2] == kNone ? std::string() : std::string(words[2]);
    if (words[3] != kNone && !ReadCount(words[3], &row->status)) return false;
    for (int i = 0; i < 5; ++i) {
        const std::string_view cell = words[4 + i];
        const size_t slash = cell.find('/');
        CPhaseFacts* phase = PhaseOf(*row, i);
        if (slash == std::string_view::npos || !ReadTenths(cell.substr(0, slash), &phase->medianMs) ||
            !ReadTenths(cell.substr(slash + 1), &phase->worstMs))
            return false;
    }
    return true;
}

// "      3次中1次失败：连接超时" under its row.
bool ReadFailure(std::string_view line, CSiteTimingRowFacts* row) {
    const std::vector<std::string_view> words = Words(line);
    const std::string_view of("次中"), failed(kFailedMiddle);
    if (words.empty() || line.compare(0, 6, "      ") != 0) return false;
    const std::string_view first = line.substr(6);
    const size_t ofAt = first.find(of), failedAt = first.find(failed);
    if (ofAt == std::string_view::npos || failedAt == std::string_view::npos || failedAt < ofAt)
        return false;
    int failures = 0;
    if (!ReadCount(first.substr(0, ofAt), &row->requests) ||
        !ReadCount(first.substr(ofAt + of.size(), failedAt - ofAt - of.size()), &failures) ||
        failures > row->requests)
        return false;
    row->answered = row->requests - failures;
    row->failure = std::string(first.substr(failedAt + failed.size()));
    return true;
}

bool ReadHeaderLine(std::string_view line, CSiteHeaderFacts* header) {
    if (line.compare(0, 2, "  ") != 0) return false;
    const std::vector<std::string_view> words = Words(line);
    const size_t colon = line.find(": ");
    if (words.size() < 3 || colon == std::string_view::npos) return false;
    header->scheme = std::string(words[0]);
    header->family = std::string(words[1]);
    const size_t nameAt = static_cast<size_t>(words[2].data() - line.data());
    if (colon < nameAt) return false;
    header->name = std::string(line.substr(nameAt, colon - nameAt));
    header->value = std::string(line.substr(colon + 2));
    return true;
}

// A line of the table part: a row, the failure line under one, or a family's note.
bool ReadTableLine(std::string_view line, CSiteTimingFacts* facts) {
    CSiteTimingRowFacts row;
    if (ReadRow(line, &row)) {
        row.requests = row.answered = facts->requestsEach;
        facts->rows.push_back(row);
        return true;
    }
    if (!facts->rows.empty() && ReadFailure(line, &facts->rows.back())) return true;
    if (line.compare(0, 3, "IPv") != 0) return false;
    facts->familyNotes.push_back(std::string(line));
    return true;
}

}  // namespace

bool ReadSiteTimingText(std::string_view body, CSiteTimingFacts* facts) {
    const std::vector<std::string_view> lines = Lines(body);
    if (lines.empty() || !ReadHeading(lines[0], facts)) return false;
    bool inHeaders = false;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        CSiteHeaderFacts header;
        if (line.empty() || line == kNoHeaders || line.compare(0, 4, "协议") == 0) continue;
        if (line == kHeadersHeading) {
            inHeaders = true;
        } else if (inHeaders && ReadHeaderLine(line, &header)) {
            facts->headers.push_back(header);
        } else if (inHeaders || !ReadTableLine(line, facts)) {
            return false;
        }
    }
    return true;
}

CPhaseFacts SummarizePhase(std::vector<double> samplesMs) {
    CPhaseFacts phase;
    if (samplesMs.empty()) return phase;
    std::sort(samplesMs.begin(), samplesMs.end());
    const size_t middle = samplesMs.size() / 2;
    phase.medianMs = samplesMs.size() % 2 ? samplesMs[middle]
                                          : (samplesMs[middle - 1] + samplesMs[middle]) / 2;
    phase.worstMs = samplesMs.back();
    return phase;
}

std::string EscapeHeaderValue(std::string_view value, size_t maxBytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < value.size() && i < maxBytes; ++i) {
        const auto byte = static_cast<unsigned char>(value[i]);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 15];
        }
    }
    if (value.size() > maxBytes) text += "...";
    return text;
}
