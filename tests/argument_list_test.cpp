// Arguments reach the child exactly as listed: on POSIX through argv untouched, on
// Windows through a command line that the child's own start-up code splits back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/command_probes.h"
#include "platform/command_line_quote.h"
#include "tests/test_support.h"

namespace {

struct CQuoteCase {
    std::string argument;
    std::string quoted;
};

// The split rules: blanks separate unless quoted; 2n backslashes before a quote give
// n and the quote delimits, 2n+1 give n and a literal quote; other backslashes are
// literal.
const CQuoteCase kQuoteCases[] = {
    {"plain", "plain"},
    {"", "\"\""},
    {"two words", "\"two words\""},
    {"tab\there", "\"tab\there\""},
    {"say \"hi\"", "\"say \\\"hi\\\"\""},
    {"a\\b", "a\\b"},
    {"a\\\\b c", "\"a\\\\b c\""},
    {"a\\\"b", "\"a\\\\\\\"b\""},
    {"C:\\Program Files\\", "\"C:\\Program Files\\\\\""},
    {"\\\\", "\\\\"},
    {"\"", "\"\\\"\""},
    {"&|<>^%!", "&|<>^%!"},
};

TEST(CommandLineQuote, EachArgumentIsQuotedOnlyAsTheSplitRulesNeed) {
    for (const CQuoteCase& c : kQuoteCases) {
        std::string line;
        AppendQuotedArgument(c.argument, &line);
        EXPECT_EQ(c.quoted, line) << "argument: " << c.argument;
    }
}

TEST(CommandLineQuote, TheProgramIsQuotedAndEachArgumentFollowsOneBlank) {
    const std::string line = BuildCommandLine<std::string>("C:\\Tools\\psping.exe", {"-n", "", "a b"});
    EXPECT_EQ("\"C:\\Tools\\psping.exe\" -n \"\" \"a b\"", line);
    EXPECT_EQ(L"\"p\" \"x\\\"y\"", BuildCommandLine<std::wstring>(L"p", {L"x\"y"}));
}

// The same lists started for real: the child prints each argument it was given as
// [argument] on a line of its own.
TEST(ArgumentList, EveryArgumentReachesTheChildWhole) {
    const std::vector<std::vector<std::string>> cases = {
        {"plain", "two words", "tab\there"},
        {"", "", "after two empty ones"},
        {"say \"hi\"", "\"", "\"\""},
        {"C:\\Program Files\\", "a\\\\b", "a\\\"b", "\\\\\\"},
        {"&|<>^%!", "$HOME", "*", "`x`", "a;b"},
        // GBK: a double-byte character whose second byte is a backslash, before a quote.
        {"\xD6\xD0\xCE\xC4 \xB4\xCA", "\x81\x5C\" x"},
    };
    for (const auto& arguments : cases) {
        CArgumentList command = TestChildCommand("args");
        std::string expected;
        for (const std::string& argument : arguments) {
            command.push_back(CString(argument));
            expected += "[" + argument + "]\n";
        }
        const CStepOutcome outcome = RunCommandCapture(CProbeContext(), command, 30);
        ASSERT_TRUE(outcome.ok);
        EXPECT_EQ(expected, outcome.text.Bytes());
    }
}

}  // namespace
