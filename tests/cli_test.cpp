#include <gtest/gtest.h>

#include <fcntl.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cli/terminal_frontend.h"
#include "cli/visible_controls.h"
#include "platform/child_process.h"
#include "platform/text_encoding.h"
#include "tests/test_support.h"

namespace {

// The refusal as the terminal shows it (UTF-8).
const char kRefusalShown[] = "\xE8\xAF\xB7\xE8\xBE\x93\xE5\x85\xA5\xE6\xAD\xA3\xE7\xA1\xAE\xE5\x9F\x9F\xE5\x90\x8D";

const std::string kTollvane = std::string(TEST_BINARY_DIR) + "/tollvane";

struct CRun {
    std::string output;  // stdout and stderr together
    bool ended;
};

// prefix: a program that runs tollvane for the test (see loopback_only.sh), or empty.
CRun RunTollvane(const std::string& arguments, int limitSeconds = 240, const std::string& prefix = "") {
    CChildProcess child;
    EXPECT_TRUE(child.Start(SplitTestWords(prefix + kTollvane + " " + arguments)));
    std::string output;
    char buffer[4096];
    for (int waited = 0; waited < limitSeconds * 10;) {
        const int got = child.Read(buffer, sizeof buffer, 100);
        if (got == CChildProcess::kReadEnd) return {output, true};
        if (got > 0) output.append(buffer, static_cast<size_t>(got));
        if (got == CChildProcess::kReadIdle) ++waited;
    }
    return {output, false};
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace

TEST(TollvaneCommand, RefusesDomainsThatWouldInjectArgumentsBeforeRunningAnything) {
    // (A domain holding a space cannot be passed as one word from here; the engine's
    // domain tests cover it, and run.sh is checked with it by hand.)
    const CRun dashed = RunTollvane("-- -t", 10);
    EXPECT_TRUE(dashed.ended);
    EXPECT_NE(std::string::npos, dashed.output.find(kRefusalShown));
    EXPECT_EQ(std::string::npos, dashed.output.find("开始检测"));

    const CRun slashed = RunTollvane("/all", 10);
    EXPECT_NE(std::string::npos, slashed.output.find(kRefusalShown));
    const CRun empty = RunTollvane("https://", 10);
    EXPECT_NE(std::string::npos, empty.output.find(kRefusalShown));
}

// Report files the program cannot write are refused before anything runs.
TEST(TollvaneCommand, RefusesReportFilesItCannotWrite) {
    const struct {
        const char* arguments;
        const char* said;
    } kCases[] = {
        {"--convert r.txt", "--convert takes one report and one -o file"},
        {"--convert r.txt -o a.json -o b.txt", "--convert takes one report and one -o file"},
        {"--convert /nonexistent/r.txt -o r.json", "tollvane: "},
    };
    for (const auto& c : kCases) {
        const CRun run = RunTollvane(c.arguments, 10);
        EXPECT_TRUE(run.ended) << c.arguments;
        EXPECT_NE(std::string::npos, run.output.find(c.said)) << c.arguments << ": " << run.output;
        EXPECT_EQ(std::string::npos, run.output.find("======================= ")) << c.arguments;
    }
}

TEST(TollvaneCommand, TypedDomainsAreTakenIntoGbk) {
    std::string gbk;
    // "例子.中国" typed in UTF-8 must reach the whois table as the GBK key "中国".
    ASSERT_TRUE(TerminalTextToGbk("\xE4\xBE\x8B\xE5\xAD\x90.\xE4\xB8\xAD\xE5\x9B\xBD", &gbk));
    EXPECT_EQ("\xC0\xFD\xD7\xD3.\xD6\xD0\xB9\xFA", gbk);
    // A character without a GBK form is no domain the report could carry.
    EXPECT_FALSE(TerminalTextToGbk("a\xF0\x9F\x98\x80.com", &gbk));
    const CRun emoji = RunTollvane("a\xF0\x9F\x98\x80.com", 10);
    EXPECT_NE(std::string::npos, emoji.output.find(kRefusalShown));
}

TEST(TollvaneCommand, AnInterruptStopsTheRunAndItsCommandAtOnce) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    const std::string script = LOOPBACK_ONLY_SCRIPT;
    const std::string quiet = TestScratchPath("interrupted_run.txt");
    char* argv[] = {const_cast<char*>(script.c_str()), const_cast<char*>(kTollvane.c_str()),
                    const_cast<char*>("127.0.0.1"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, quiet.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    ASSERT_EQ(0, posix_spawn(&pid, script.c_str(), &actions, nullptr, argv, environ));
    posix_spawn_file_actions_destroy(&actions);
    // Step 5 probes a closed port ten times a second apart: the run is inside it by now.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const auto sent = std::chrono::steady_clock::now();
    kill(pid, SIGINT);
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - sent < std::chrono::seconds(20)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (done == 0) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    ASSERT_EQ(pid, done) << "tollvane kept running after an interrupt";
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(7));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(128 + SIGINT, WEXITSTATUS(status));
    // Nothing after the interrupted step reached the output.
    EXPECT_EQ(std::string::npos, ReadFile(quiet).find("Ping"));
}

// GBK (GB18030) bytes from a peer, decoded, then filtered on code points. Each case is
// fed whole and then a byte at a time: a four-byte character or a CR LF split between
// two pieces must come out the same.
TEST(VisibleControls, SequencesFromPeersAreShownNeverActedOn) {
    struct CCase {
        std::string from;
        std::u32string shown;
    };
    const CCase cases[] = {
        {"title \x1b]0;owned\x07 end", U"title ^[]0;owned^G end"},
        {"\x1b[2J\x1b]52;c;ZXZpbA==\x07", U"^[[2J^[]52;c;ZXZpbA==^G"},
        {"keep\ttabs\r\nand lines\n", U"keep\ttabs\r\nand lines\n"},
        {std::string("nul\x00\x01 del\x7f", 10), U"nul^@^A del^?"},
        // C1 controls: U+009B (the one-character CSI) and U+0085 in four-byte form.
        {"\x81\x30\x83\x37" "2J \x81\x30\x81\x35", U"<U+009B>2J <U+0085>"},
        // Marks that reverse or reorder a line.
        {"\x81\x36\xa7\x31" "evil\x81\x36\xac\x32" "x\x81\x36\xac\x35\x81\x36\xa5\x31\x81\x31\x82\x38",
         U"<U+202E>evil<U+2066>x<U+2069><U+200F><U+061C>"},
        // A CR that ends no line would let a peer's line overwrite one before it.
        {"Registrar: EVIL\rRegistrar: GOOD\r\n", U"Registrar: EVIL^MRegistrar: GOOD\r\n"},
        {"\r\r\nend\r", U"^M\r\nend^M"},
        // Text stays text: Chinese, a no-break space, and '?' for bytes that are no GB18030.
        {"\xd6\xd0\xb9\xfa\x81\x30\x84\x32\xff", U"\u4e2d\u56fd\u00a0?"},
    };
    for (const CCase& entry : cases) {
        for (const bool pieces : {false, true}) {
            CGbkCodePoints decoder;
            CVisibleControls filter;
            std::u32string shown;
            const size_t step = pieces ? 1 : entry.from.size();
            for (size_t at = 0; at < entry.from.size(); at += step) {
                shown += filter.Filter(decoder.Convert(entry.from.substr(at, step)));
            }
            shown += filter.Filter(decoder.Flush()) + filter.Flush();
            EXPECT_TRUE(entry.shown == shown) << entry.from << (pieces ? " (a byte at a time)" : "");
        }
    }
}

// The status line never reaches the terminal's last column, cuts only whole characters
// (a Chinese one takes two columns), and adds the command's line only when enough of it fits.
TEST(StatusLine, FitsTheTerminalsWidth) {
    const CString step = "[5/9] 检测FTP（21）端口 8秒";  // 27 columns
    const struct {
        const char* command;
        int columns;
        const char* shown;
    } cases[] = {
        {"", 80, "[5/9] 检测FTP（21）端口 8秒"},
        {"Connecting to 127.0.0.1:21: ", 80, "[5/9] 检测FTP（21）端口 8秒  Connecting to 127.0.0.1:21:"},
        {"Connecting to 127.0.0.1:21", 45, "[5/9] 检测FTP（21）端口 8秒  Connecting to 1"},
        {"\t  Reply\x1b[2J", 80, "[5/9] 检测FTP（21）端口 8秒  Reply^[[2J"},
        {"来自 127.0.0.1 的回复", 40, "[5/9] 检测FTP（21）端口 8秒  来自 127.0"},
        {"来自 127.0.0.1 的回复", 33, "[5/9] 检测FTP（21）端口 8秒"},
        {"x", 20, "[5/9] 检测FTP（21）"},
        {"x", 19, "[5/9] 检测FTP（21"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::string(c.shown), CTerminalFrontEnd::ComposeStatus(step, c.command, c.columns))
            << c.shown;
    }
}

TEST(TollvaneCommand, HelpAndVersion) {
    EXPECT_NE(std::string::npos, RunTollvane("--help", 10).output.find("Usage: tollvane"));
    EXPECT_NE(std::string::npos, RunTollvane("--version", 10).output.find("tollvane 1.0.0.1"));
}

TEST(TollvaneCommand, AFullRunAgainstLoopbackWritesTheReportFileInGbk) {
    // A full run asks the compiled-in public address page; only a private network
    // namespace keeps that question off the real network.
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    const std::string reportPath = TestScratchPath("cli_report.txt");
    std::remove(reportPath.c_str());
    const CRun run = RunTollvane("-o " + reportPath + " 127.0.0.1", 240, std::string(LOOPBACK_ONLY_SCRIPT) + " ");
    ASSERT_TRUE(run.ended);
    const std::string report = ReadFile(reportPath);
    ASSERT_FALSE(report.empty());

    // GBK bytes as the report holds them: the banner's title is BF AA CA BC BC EC B2 E2.
    EXPECT_EQ(0u, report.find("======================= \xBF\xAA\xCA\xBC\xBC\xEC\xB2\xE2 ======================="
                              "\r\n"));
    // The terminal got UTF-8 (or at least no raw GBK).
    EXPECT_EQ(std::string::npos, run.output.find("\xBF\xAA\xCA\xBC"));
    // Standard error is a pipe here, not a terminal: no status line, nor any of its erasing.
    EXPECT_EQ(std::string::npos, run.output.find("/9] "));
    EXPECT_EQ(std::string::npos, run.output.find("\x1b[K"));

    const std::regex block("\r\n\xB5\xDA([1-9])\xB2\xBD---[^\r\n]*\xA3\xBA"
                           "[ 0-9]{4}-[ 0-9]{2}-[ 0-9]{2} [ 0-9]{2}:[ 0-9]{2}:[ 0-9]{2}\r\n");
    int expectedStep = 1;
    std::vector<size_t> starts;
    for (auto it = std::sregex_iterator(report.begin(), report.end(), block); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(std::to_string(expectedStep), (*it)[1].str());
        starts.push_back(static_cast<size_t>(it->position()));
        ++expectedStep;
    }
    ASSERT_EQ(9u, starts.size());
    starts.push_back(report.size());
    const std::string separator = "\r\n \r\n" + std::string(69, '*');
    for (int step = 3; step <= 8; ++step) {
        const std::string whole = report.substr(starts[step - 1], starts[step] - starts[step - 1]);
        ASSERT_GE(whole.size(), separator.size());
        EXPECT_EQ(separator, whole.substr(whole.size() - separator.size())) << "step " << step;
        const size_t headerEnd = whole.find("\r\n", 2) + 2;
        const std::string body = whole.substr(headerEnd, whole.size() - headerEnd - separator.size());
        EXPECT_GT(body.size(), 20u) << "step " << step << " has no real output";
    }
    EXPECT_NE(std::string::npos, report.find("127.0.0.1:21"));
    EXPECT_NE(std::string::npos, report.find("127.0.0.1:80"));
    EXPECT_NE(std::string::npos, report.find("Trace complete."));
}

namespace {

// Starts tollvane with -o in the loopback-only namespace, its output to a file.
pid_t StartSavingRun(const std::string& reportPath, const std::string& outputPath) {
    const std::string script = LOOPBACK_ONLY_SCRIPT;
    char* argv[] = {const_cast<char*>(script.c_str()), const_cast<char*>(kTollvane.c_str()), const_cast<char*>("-o"),
                    const_cast<char*>(reportPath.c_str()), const_cast<char*>("127.0.0.1"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, script.c_str(), &actions, nullptr, argv, environ));
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status, or -1 when the run did not end within the limit.
int WaitForRun(pid_t pid, int limitSeconds) {
    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limitSeconds)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Both runs at once: each takes most of half a minute on loopback.
TEST(TollvaneCommand, SavingWritesALinksTargetAndFailsOnAFullDevice) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a network namespace of its own";
    const std::string folder = TestScratchPath("cli_save");
    mkdir(folder.c_str(), 0755);
    // A private node of /dev/full's kind: a faulty save replaces it, not the system's.
    const std::string full = folder + "/full";
    unlink(full.c_str());
    ASSERT_EQ(0, mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)));
    const std::string target = folder + "/kept.txt";
    const std::string link = folder + "/latest.txt";
    unlink(link.c_str());
    std::ofstream(target, std::ios::binary | std::ios::trunc) << "the earlier report";
    chmod(target.c_str(), 0600);
    ASSERT_EQ(0, symlink("kept.txt", link.c_str()));

    const pid_t toFull = StartSavingRun(full, folder + "/full_run.txt");
    const pid_t toLink = StartSavingRun(link, folder + "/link_run.txt");
    EXPECT_EQ(1, WaitForRun(toFull, 240));
    EXPECT_EQ(0, WaitForRun(toLink, 240));

    // The words are in the terminal's encoding; the error number (ENOSPC) is ASCII in any.
    EXPECT_NE(std::string::npos, ReadFile(folder + "/full_run.txt").find(" 28"));
    struct stat info {};
    ASSERT_EQ(0, lstat(full.c_str(), &info));
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    ASSERT_EQ(0, lstat(link.c_str(), &info));
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(0, stat(target.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
    EXPECT_EQ(0u, ReadFile(target).find("======================= \xBF\xAA\xCA\xBC\xBC\xEC\xB2\xE2"));
}
