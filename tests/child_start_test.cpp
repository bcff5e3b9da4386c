// How a command's child is started and when its step ends: what it inherits, where its
// program is taken from, and that what it leaves behind neither holds the step nor
// outlives it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/child_process.h"
#include "platform/program_path.h"
#include "probes/command_probes.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

struct CCapture {
    int ok;
    std::string text;
    double seconds;
};

CCapture Capture(const CArgumentList& command, int limitSeconds) {
    const auto start = std::chrono::steady_clock::now();
    const CStepOutcome outcome = RunCommandCapture(CProbeContext(), command, limitSeconds);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {outcome.ok ? 1 : 0, outcome.ok ? outcome.text.Bytes() : std::string(), took.count()};
}

bool GoneWithin(long processId, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 100) {
        if (!IsProcessAlive(processId)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !IsProcessAlive(processId);
}

long ReadId(const std::string& file) {
    long id = -1;
    std::ifstream(file) >> id;
    return id;
}

// A folder under the build tree, made fresh; the name is UTF-8.
fs::path FreshFolder(const std::string& utf8Name) {
    const fs::path folder = fs::u8path(TestScratchPath("child_start")) / fs::u8path(utf8Name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

fs::path TestChildFile() { return fs::u8path(TestChildPath()); }

}  // namespace

// The child exits at once but leaves a process of its own holding the pipe, which
// writes once more half a second later. The step takes that late output, ends within
// the grace instead of at its limit, and what was left behind is ended with it.
TEST(ChildStep, EndsWithinTheGraceWhenSomethingItStartedHoldsThePipe) {
    const std::string idFile = TestScratchPath("left_behind.pid");
    std::remove(idFile.c_str());
    const CCapture step = Capture(TestChildCommand("leave " + idFile + " 500"), 30);
    EXPECT_EQ(1, step.ok);
    EXPECT_EQ("leftlate", step.text);
    EXPECT_GT(step.seconds, CChildProcess::kExitGraceMs / 1000.0);
    EXPECT_LT(step.seconds, CChildProcess::kExitGraceMs / 1000.0 + 4.0);
    EXPECT_EQ(std::string::npos, step.text.find("已被终止"));

    const long leftBehind = ReadId(idFile);
    ASSERT_GT(leftBehind, 0);
    EXPECT_TRUE(GoneWithin(leftBehind, 5000)) << "what the child left running outlived its step";
}

// An exited child's output that is still in the pipe is read whole, not cut at the grace.
TEST(ChildStep, OutputWrittenJustBeforeExitArrivesWhole) {
    const CCapture step = Capture(TestChildCommand("bytes 300000"), 30);
    EXPECT_EQ(300000u, step.text.size());
    EXPECT_LT(step.seconds, CChildProcess::kExitGraceMs / 1000.0);
}

// The program folder is cut at its last separator by bytes: a folder named in a
// Western language or in Chinese (an odd number of UTF-8 bytes before the separator,
// which GBK rules would swallow) is found whole, and a child there is started by it.
TEST(ProgramFolder, IsFoundWholeUnderNamesInAnyLanguage) {
    for (const char* name : {u8"José", u8"测试下", u8"Łódź folder"}) {
        SCOPED_TRACE(name);
        const fs::path folder = FreshFolder(name);
        const fs::path copy = folder / "test_child.exe";
        fs::copy_file(TestChildFile(), copy);
        const CCapture step = Capture({CString(copy.u8string()), "folder"}, 30);
        ASSERT_EQ(1, step.ok);
        const std::string expected = std::string(name) + GetPathSeparator();
        ASSERT_GE(step.text.size(), expected.size()) << step.text;
        EXPECT_EQ(expected, step.text.substr(step.text.size() - expected.size())) << step.text;
        const CCapture args = Capture({CString(copy.u8string()), "args", "\xD6\xD0"}, 30);
        EXPECT_EQ("[\xD6\xD0]\n", args.text) << "the GBK argument did not arrive as GBK";
    }
}

#ifdef _WIN32
// A bare command name means the system's own command. One planted in the program's
// folder or in the current folder is never started, whichever comes first in the
// standard search.
TEST(ChildStart, APlantedPingInTheProgramOrCurrentFolderNeverRuns) {
    const fs::path programCopy = fs::u8path(GetExecutableDirectory()) / "ping.exe";
    const fs::path currentFolder = FreshFolder("current");
    fs::copy_file(TestChildFile(), programCopy, fs::copy_options::overwrite_existing);
    fs::copy_file(TestChildFile(), currentFolder / "ping.exe");
    const fs::path saved = fs::current_path();
    fs::current_path(currentFolder);

    const CStepOutcome ping = RunPing(CProbeContext(), "127.0.0.1");
    fs::current_path(saved);
    fs::remove(programCopy);
    EXPECT_TRUE(ping.ok);
    const std::string text = ping.text.Bytes();
    EXPECT_EQ(std::string::npos, text.find("planted")) << text;
    EXPECT_NE(std::string::npos, text.find("127.0.0.1")) << text;
}

// The child's start-up record is its own: none of this program's C runtime file table,
// hidden, its output in the pipe, and no standard input of this program's (Windows
// leaves it none; Wine gives the child the input of its own console instead).
TEST(ChildStart, StartsFromAZeroedRecordWithoutThisProgramsInput) {
    const CCapture step = Capture(TestChildCommand("startup"), 30);
    EXPECT_TRUE(step.text == "reserved2=0 flags=0x101 show=0 stdin=none\n" ||
                step.text == "reserved2=0 flags=0x101 show=0 stdin=console\n")
        << step.text;
}

// Only the pipe's write end is inherited, not every inheritable handle of this program.
TEST(ChildStart, InheritsNoHandleButThePipe) {
    // Many handles first, so that the inheritable one has a value far above any the
    // child opens for itself.
    std::vector<HANDLE> filler;
    for (int i = 0; i < 400; ++i) filler.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, nullptr);
    for (HANDLE handle : filler) CloseHandle(handle);
    ASSERT_NE(nullptr, event);
    const std::string value = std::to_string(reinterpret_cast<uintptr_t>(event));
    const CCapture step = Capture(TestChildCommand("handle " + value), 30);
    CloseHandle(event);
    EXPECT_EQ("closed\n", step.text);
}
#endif

namespace {

bool SetTestVariable(const char* name, const char* value) {
#ifdef _WIN32
    return SetEnvironmentVariableA(name, value) != 0;
#else
    return setenv(name, value, 1) == 0;
#endif
}

// Starts the test child with the words given and the settings laid over its
// environment; its whole output, and its exit status (-2 when it did not exit).
std::pair<std::string, int> RunWithEnvironment(const std::string& words,
                                               const std::vector<CString>& settings,
                                               const std::string& input = std::string()) {
    CChildProcess child;
    child.SetEnvironment(settings);
    child.SetInput(input);
    if (!child.Start(TestChildCommand(words))) return {"not started", -2};
    std::string output;
    char buffer[512];
    for (int got; (got = child.Read(buffer, sizeof buffer, 5000)) != CChildProcess::kReadEnd;) {
        if (got > 0) output.append(buffer, static_cast<size_t>(got));
    }
    int status = -2;
    child.WaitForExit(5000, &status);
    return {output, status};
}

}  // namespace

TEST(ChildStart, SettingsReplaceOrExtendTheEnvironmentAndTheRestIsInherited) {
    ASSERT_TRUE(SetTestVariable("TOLLVANE_TEST_KEPT", "kept"));
    ASSERT_TRUE(SetTestVariable("TOLLVANE_TEST_REPLACED", "old"));
    const auto run = RunWithEnvironment(
        "env TOLLVANE_TEST_KEPT TOLLVANE_TEST_REPLACED TOLLVANE_TEST_ADDED TOLLVANE_TEST_ABSENT",
        {CString("TOLLVANE_TEST_REPLACED=new"), CString("TOLLVANE_TEST_ADDED=a=b c")});
    EXPECT_EQ("TOLLVANE_TEST_KEPT=kept\nTOLLVANE_TEST_REPLACED=new\n"
              "TOLLVANE_TEST_ADDED=a=b c\nTOLLVANE_TEST_ABSENT unset\n",
              run.first);
    EXPECT_EQ(0, run.second);
    // Without settings the child sees this process's environment as it is.
    EXPECT_EQ("TOLLVANE_TEST_REPLACED=old\n", RunWithEnvironment("env TOLLVANE_TEST_REPLACED", {}).first);
}

// The input reaches the child whole, however much more than a pipe holds at once. (No
// input is none at all, which StartsFromAZeroedRecord checks.)
TEST(ChildStart, TheGivenInputIsWhatTheChildReads) {
    std::string large(300 << 10, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 % 251);
    for (const std::string& input : {std::string("a\0b\r\n", 5), large}) {
        SCOPED_TRACE(input.size());
        const auto run = RunWithEnvironment("input", {}, input);
        EXPECT_EQ(0, run.second);
        EXPECT_TRUE(run.first == input) << run.first.size() << " bytes came back";
    }
}

TEST(ChildStart, TheExitStatusIsReportedOnceTheChildHasExited) {
    EXPECT_EQ(3, RunWithEnvironment("exit 3", {}).second);
    EXPECT_EQ(0, RunWithEnvironment("silent", {}).second);

    CChildProcess child;
    int status = -2;
    EXPECT_FALSE(child.WaitForExit(0, &status)) << "nothing was started";
    ASSERT_TRUE(child.Start(TestChildCommand("sleep 30")));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(child.WaitForExit(300, &status));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    child.Terminate();
    EXPECT_TRUE(child.WaitForExit(5000, &status));
    EXPECT_NE(0, status) << "an ended child did not exit by itself";
}

#ifndef _WIN32
#include "platform/search_path_posix.h"

TEST(SearchPath, EmptyEntriesNeverMeanTheCurrentFolder) {
    const fs::path here = FreshFolder("search-here");
    const fs::path along = FreshFolder("search-along");
    for (const fs::path& folder : {here, along}) {
        std::ofstream(folder / "tv-probe-program") << "#!/bin/sh\n";
        fs::permissions(folder / "tv-probe-program", fs::perms::owner_all);
    }
    const fs::path before = fs::current_path();
    fs::current_path(here);
    const char* saved = std::getenv("PATH");
    const std::string original = saved ? saved : "";
    setenv("PATH", (":/nonexistent::" + along.string() + ":").c_str(), 1);
    EXPECT_EQ((along / "tv-probe-program").string(), FindOnSearchPath("tv-probe-program"));
    setenv("PATH", "::", 1);
    EXPECT_EQ("", FindOnSearchPath("tv-probe-program"));
    // Only executable regular files count.
    fs::permissions(along / "tv-probe-program", fs::perms::owner_read | fs::perms::owner_write);
    setenv("PATH", along.c_str(), 1);
    EXPECT_EQ("", FindOnSearchPath("tv-probe-program"));
    setenv("PATH", original.c_str(), 1);
    fs::current_path(before);
}
#endif
