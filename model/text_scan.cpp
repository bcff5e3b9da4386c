#include "model/text_scan.h"

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool ReadNumber(std::string_view text, double* value, size_t* used) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '<')) ++i;
    const size_t start = i;
    double whole = 0, scale = 0;
    for (; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch >= '0' && ch <= '9') {
            if (scale > 0) {
                whole += (ch - '0') / scale;
                scale *= 10;
            } else {
                whole = whole * 10 + (ch - '0');
            }
        } else if (ch == '.' && scale == 0 && i > start) {
            scale = 10;
        } else {
            break;
        }
    }
    if (i == start) return false;
    *value = whole;
    if (used) *used = i;
    return true;
}

std::string LowerAscii(std::string_view text) {
    std::string lowered(text);
    for (char& ch : lowered)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return lowered;
}

size_t AfterLast(std::string_view text, std::initializer_list<std::string_view> keys) {
    size_t best = std::string_view::npos;
    for (std::string_view key : keys) {
        const size_t at = text.rfind(key);
        if (at != std::string_view::npos &&
            (best == std::string_view::npos || at + key.size() > best))
            best = at + key.size();
    }
    return best;
}

bool ReadDigits(std::string_view text, int* value, size_t* used) {
    // A tenth digit is read only to refuse the number, in a type it cannot overflow.
    size_t i = 0;
    long long whole = 0;
    while (i < text.size() && i < 10 && text[i] >= '0' && text[i] <= '9')
        whole = whole * 10 + (text[i++] - '0');
    if (i == 0 || i > 9) return false;
    *value = static_cast<int>(whole);
    *used = i;
    return true;
}
