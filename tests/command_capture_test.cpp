#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/stop_signal.h"
#include "probes/command_probes.h"
#include "tests/test_support.h"

namespace {

std::string Pattern(size_t count) {
    std::string bytes(count, ' ');
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

struct CCapture {
    int ok;
    std::string text;
    double seconds;
};

CCapture Capture(const std::string& childArguments, int limitSeconds = 30, CStopSignal* stop = nullptr) {
    const CProbeContext context(DefaultEndpoints(), stop);
    const auto start = std::chrono::steady_clock::now();
    const CStepOutcome outcome = RunCommandCapture(context, TestChildCommand(childArguments), limitSeconds);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(outcome.ok);
    return {outcome.ok ? 1 : 0, outcome.text.Bytes(), took.count()};
}

}  // namespace

TEST(CommandCapture, LongOutputArrivesWholeAndInOrder) {
    const CCapture big = Capture("bytes 100000");
    EXPECT_EQ(1, big.ok);
    EXPECT_EQ(Pattern(100000), big.text);

    const CCapture split = Capture("gbk-split");
    EXPECT_EQ(Pattern(4095) + "\xBC\xEC" + "end", split.text);

    const CCapture exact = Capture("exact");
    EXPECT_EQ(Pattern(4096) + "tail", exact.text);
}

TEST(CommandCapture, ANulDropsTheRestOfItsChunkOnly) {
    const CCapture nul = Capture("nul");
    EXPECT_EQ(1, nul.ok);
    EXPECT_EQ("abcghi", nul.text);
}

TEST(CommandCapture, ASilentChildSucceedsWithEmptyText) {
    const CCapture silent = Capture("silent");
    EXPECT_EQ(1, silent.ok);
    EXPECT_EQ("", silent.text);
}

TEST(CommandCapture, TheCommandLineIsSplitAtSpacesWithoutQuotingOrShell) {
    const CCapture args = Capture("args a&b  c|d $HOME");
    EXPECT_EQ("[a&b]\n[c|d]\n[$HOME]\n", args.text);
}

TEST(CommandCapture, AMissingProgramFailsWithoutAnyText) {
    const CStepOutcome missing = RunCommandCapture(CProbeContext(), {"no-such-program-here", "/all"}, 5);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ("找不到no-such-program-here程序\r\n", missing.text);
}

TEST(CommandCapture, AChildPastItsLimitIsEndedWithEverythingItStarted) {
    const std::string pidFile = TestScratchPath("grandchild.pid");
    std::remove(pidFile.c_str());
    const CCapture limited = Capture("spawn " + pidFile + " 60", 2);
    EXPECT_EQ(1, limited.ok);
    EXPECT_LT(limited.seconds, 10.0);
    EXPECT_NE(std::string::npos, limited.text.find("命令运行超过2秒仍未结束，已被终止。\r\n"));

    long grandchild = -1;
    std::ifstream(pidFile) >> grandchild;
    ASSERT_GT(grandchild, 0);
    bool gone = false;
    for (int i = 0; i < 50 && !gone; ++i) {
        gone = !IsProcessAlive(grandchild);
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(gone) << "the child's own child outlived the limit";
}

TEST(CommandCapture, OutputPastTheCapIsDrainedAndLeftOutWithANotice) {
    const std::string notice = "\r\n（命令输出超过1MB，其余部分已省略）\r\n";
    // A child that ends by itself after writing four times the cap.
    const CCapture big = Capture("stream 4");
    EXPECT_EQ(1, big.ok);
    std::string blocks;
    while (blocks.size() < static_cast<size_t>(kCommandOutputCapBytes)) blocks += Pattern(64 * 1024);
    ASSERT_EQ(static_cast<size_t>(kCommandOutputCapBytes) + notice.size(), big.text.size());
    EXPECT_TRUE(big.text.compare(0, kCommandOutputCapBytes, blocks) == 0);
    EXPECT_EQ(notice, big.text.substr(kCommandOutputCapBytes));
    EXPECT_LT(big.seconds, 10.0);

    // A child that never stops writing still ends at its limit, with both notices.
    const CCapture flood = Capture("flood", 2);
    EXPECT_EQ(1, flood.ok);
    EXPECT_LT(flood.seconds, 6.0);
    EXPECT_TRUE(flood.text.compare(0, kCommandOutputCapBytes, blocks) == 0);
    EXPECT_EQ(notice + "\r\n命令运行超过2秒仍未结束，已被终止。\r\n",
              flood.text.substr(kCommandOutputCapBytes));
}

TEST(CommandCapture, AStopSignalEndsTheChildPromptly) {
    CStopSignal stop;
    std::thread raiser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        stop.Raise();
    });
    const CCapture stopped = Capture("sleep 60", 60, &stop);
    raiser.join();
    EXPECT_LT(stopped.seconds, 10.0);
    EXPECT_EQ(std::string::npos, stopped.text.find("已被终止"));
}

TEST(ProgramDirectory, EndsInTheSeparatorAndHoldsThisProgram) {
    const CFilePath folder = GetProgramDirectory();
    ASSERT_FALSE(folder.empty());
    const char last = folder.back();
    EXPECT_TRUE(last == '/' || last == '\\');
    EXPECT_EQ(std::string::npos, folder.find("command_capture_test"));
}

TEST(CommandProbes, MissingPspingFailsStepsFiveAndSixOnlySayingSo) {
#ifndef _WIN32
    // The system's commands are the stand-ins, found along PATH; psping is looked for only
    // beside this test program, where there is none.
    const char* path = std::getenv("PATH");
    const CScopedPath standIns(std::string(TEST_BINARY_DIR) + ":" + (path ? path : ""));
#endif
    const CProbeContext context;
    for (const auto probe : {&ProbeFtpPort, &ProbeHttpPort}) {
        const CStepOutcome port = probe(context, "127.0.0.1");
        EXPECT_FALSE(port.ok);
        EXPECT_EQ("找不到psping程序\r\n", port.text);
    }

    const CStepOutcome info = GetLocalNetworkInfo(context, "127.0.0.1");
    EXPECT_TRUE(info.ok);
    EXPECT_NE(std::string::npos, info.text.Bytes().find("127.0.0.1"));
    const CStepOutcome flush = FlushDnsCache(context, "127.0.0.1");
    EXPECT_TRUE(flush.ok);
    EXPECT_FALSE(flush.text.IsEmpty());
    const CStepOutcome ping = RunPing(context, "127.0.0.1");
    EXPECT_TRUE(ping.ok);
    EXPECT_NE(std::string::npos, ping.text.Bytes().find("127.0.0.1"));
}

// What a progress display shows of a command's output: the line being written, else the
// last one that had text, whatever the line ends and however the output was cut up.
TEST(LastLine, FollowsTheOutputAsItArrives) {
    const struct {
        std::vector<std::string> chunks;
        const char* shown;
    } cases[] = {
        {{"Pinging host\r\n", "Reply from 1\r\n\r\n"}, "Reply from 1"},
        {{"Connecting to host:21: "}, "Connecting to host:21: "},
        {{"first\nsec", "ond half\n"}, "second half"},
        {{"a\n", std::string("b\0c\n", 4)}, "bc"},
        {{"\n\r\n"}, ""},
        {{std::string(2000, 'x')}, ""},
    };
    for (const auto& c : cases) {
        CLastLineTracker tracker;
        for (const std::string& chunk : c.chunks) tracker.Feed(chunk.data(), static_cast<int>(chunk.size()));
        if (c.chunks[0].size() == 2000) {
            EXPECT_EQ(512, tracker.Line().GetLength());  // bounded however long the line
        } else {
            EXPECT_EQ(CString(c.shown), tracker.Line()) << c.shown;
        }
    }
    CLastLineTracker tracker;
    EXPECT_TRUE(tracker.Feed("x\n", 2));
    EXPECT_FALSE(tracker.Feed("\r\n", 2));  // nothing new to show
}
