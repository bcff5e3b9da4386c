// Windows hands a program one command line, which the program's start-up code splits
// back into arguments (the rules CommandLineToArgvW follows). This builds that line
// from a list so that the split gives the list back exactly. Portable, so the rules
// are tested on every system; the Windows backend uses it on UTF-16 text.
#pragma once

#include <cstddef>
#include <vector>

// Appends one argument, quoted only where the split needs it: an empty argument, or
// one holding a blank or a double quote. Inside quotes a run of backslashes is
// literal unless a double quote follows it: then each backslash is doubled and the
// quote escaped, and a run before the closing quote is doubled.
template <class Text>
void AppendQuotedArgument(const Text& argument, Text* line) {
    using Char = typename Text::value_type;
    const Char blank = ' ', tab = '\t', newline = '\n', vtab = '\v', quote = '"', slash = '\\';
    bool needsQuotes = argument.empty();
    for (const Char ch : argument) {
        if (ch == blank || ch == tab || ch == newline || ch == vtab || ch == quote) needsQuotes = true;
    }
    if (!needsQuotes) {
        *line += argument;
        return;
    }
    *line += quote;
    size_t slashes = 0;
    for (const Char ch : argument) {
        if (ch == slash) {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote itself escaped.
        line->append(ch == quote ? slashes * 2 + 1 : slashes, slash);
        slashes = 0;
        *line += ch;
    }
    line->append(slashes * 2, slash);
    *line += quote;
}

// The whole line: the program word first, always quoted (a program path has no
// double quote, and the start-up code takes the first word up to the next quote
// without any escapes), then each argument after one blank.
template <class Text>
Text BuildCommandLine(const Text& program, const std::vector<Text>& arguments) {
    using Char = typename Text::value_type;
    Text line(1, Char('"'));
    line += program;
    line += Char('"');
    for (const Text& argument : arguments) {
        line += Char(' ');
        AppendQuotedArgument(argument, &line);
    }
    return line;
}
