// libFuzzer target for the command line a child process is started with: whatever the
// arguments (the input split at NUL bytes, the first naming the program), splitting the
// line by the documented CommandLineToArgvW rules, written out here on their own, gives
// the list back exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line_quote.h"

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// The program word: up to the next quote when it starts with one (no escapes), else up
// to the first blank.
std::string ProgramWord(const std::string& line, size_t* at) {
    std::string word;
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        for (i = 1; i < line.size() && line[i] != '"'; ++i) word += line[i];
        if (i < line.size()) ++i;
    } else {
        for (; i < line.size() && !IsBlank(line[i]); ++i) word += line[i];
    }
    *at = i;
    return word;
}

// One argument: 2n backslashes and a quote give n backslashes and toggle quoting;
// 2n+1 and a quote give n and a literal quote; backslashes before anything else are
// literal; inside quotes "" is a literal quote; outside quotes a blank ends the word.
std::string NextWord(const std::string& line, size_t* at) {
    std::string word;
    bool quoted = false;
    size_t i = *at;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
        if (line[i] == '\\') {
            size_t run = 0;
            for (; i < line.size() && line[i] == '\\'; ++i) ++run;
            const bool quoteNext = i < line.size() && line[i] == '"';
            word.append(quoteNext ? run / 2 : run, '\\');
            if (quoteNext && run % 2 == 1) {
                word += '"';
                ++i;
            }
        } else if (line[i] == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                word += '"';
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else {
            word += line[i++];
        }
    }
    *at = i;
    return word;
}

std::vector<std::string> SplitLikeWindows(const std::string& line) {
    size_t at = 0;
    std::vector<std::string> words = {ProgramWord(line, &at)};
    for (;;) {
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (at >= line.size()) return words;
        words.push_back(NextWord(line, &at));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    // A program path holds no quote and is never empty.
    std::string program = parts[0];
    for (char& ch : program)
        if (ch == '"') ch = '_';
    if (program.empty()) program = "p";
    const std::vector<std::string> arguments(parts.begin() + 1, parts.end());
    const std::string line = BuildCommandLine(program, arguments);
    std::vector<std::string> expected = {program};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    if (SplitLikeWindows(line) != expected) std::abort();
    return 0;
}
