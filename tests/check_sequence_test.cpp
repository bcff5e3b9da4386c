#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/check_sequence.h"
#include "engine/run_progress.h"
#include "probes/probe_context.h"
#include "probes/public_ip.h"
#include "probes/website_check.h"
#include "probes/whois_lookup.h"
#include "platform/stop_signal.h"
#include "tests/test_support.h"

namespace {

const char kDomain[] = "no..such.invalid";

// Endpoints under which every network probe fails at once, on loopback only.
CCheckOptions FailingOptions() {
    CCheckOptions options;
    options.endpoints.whoisRows.clear();
    options.endpoints.publicIpHost = "127.0.0.1";
    options.endpoints.publicIpPort = 9;
    options.endpoints.addressSources.clear();
    options.endpoints.ipv6Source.url = "http://127.0.0.1:9/";
    options.endpoints.addressDnsServer = "127.0.0.1";
    options.endpoints.resolverEchoName = kDomain;
    options.endpoints.publicDnsServers = {"127.0.0.1"};
    options.endpoints.dnsPort = 9;
    options.endpoints.websitePort = 9;
    options.clock = &FixedClock;
    return options;
}

std::string Separator() { return "\r\n \r\n" + std::string(69, '*'); }

#ifndef _WIN32
// What one probe leaves behind, taken the way the sequence takes it.
std::string StepBody(int step, const CCheckOptions& options) {
    const CProbeContext context(options.endpoints, options.stop);
    const CString domain(kDomain);
    CStepOutcome outcome;
    switch (step) {
        case 1: outcome = LookupWhois(context, domain); break;
        case 2: outcome = FetchPublicIP(context, domain); break;
        case 9: outcome = CheckWebsite(context, domain); break;
        case 3: case 4: return "找不到ipconfig程序\r\n";  // the commands are missing here
        case 5: case 6: return "找不到psping程序\r\n";
        case 7: return "找不到ping程序\r\n";
        case 8: return "找不到tracert程序\r\n";
    }
    return outcome.text.Bytes();
}

class PathCleared : public ::testing::Test {
private:
    // A folder that does not exist, not an empty PATH: an empty entry means the
    // current folder, which may hold the stand-ins.
    CScopedPath m_nowhere{"/nonexistent"};
};
#endif

}  // namespace

TEST(StepHeader, PadsTimeFieldsWithSpacesAndSeparatorHasNoLineEnd) {
    CRecordingFrontEnd frontEnd;
    AppendStepHeader(&frontEnd, 5, GetCheckStepName(5), &FixedClock);
    AppendStepSeparator(&frontEnd);
    AppendStepSeparator(&frontEnd);
    const auto appends = frontEnd.Appends();
    ASSERT_EQ(3u, appends.size());
    EXPECT_EQ("\r\n第5步---检测FTP（21）端口：2026- 3- 7  9: 5: 4\r\n", appends[0]);
    EXPECT_EQ(Separator(), appends[1]);
    EXPECT_EQ(Separator(), appends[2]);
}

#ifndef _WIN32
TEST_F(PathCleared, AllProbesFailingStillGiveBannerAndNineCompleteBlocks) {
    EnsureNetworking();
    const CCheckOptions options = FailingOptions();
    CRecordingFrontEnd frontEnd;
    EXPECT_EQ(0, CheckThreadProc(&frontEnd, kDomain, options));

    std::string expected = "======================= 开始检测 =======================\r\n";
    for (int step = 1; step <= kCheckStepCount; ++step) {
        expected += "\r\n第" + std::to_string(step) + "步---" + GetCheckStepName(step) +
                    "：2026- 3- 7  9: 5: 4\r\n";
        expected += StepBody(step, options);
        expected += Separator();
    }
    EXPECT_EQ(expected, frontEnd.Report());
    EXPECT_EQ(9, frontEnd.ProgressSteps());
    EXPECT_EQ(1, frontEnd.DoneNotices());
    // Blocks of the command steps say which program is missing.
    EXPECT_NE(std::string::npos, frontEnd.Report().find("：2026- 3- 7  9: 5: 4\r\n找不到psping程序\r\n" + Separator()));
}
#endif

TEST(CheckRun, BannerComesFirstAndEveryStepIsWrittenInOrder) {
    EnsureNetworking();
    CCheckOptions options = FailingOptions();
    CRecordingFrontEnd frontEnd;
    CheckThreadProc(&frontEnd, kDomain, options);
    const std::string report = frontEnd.Report();
    EXPECT_EQ(0u, report.find("======================= 开始检测 =======================\r\n"));
    size_t at = 0;
    for (int step = 1; step <= kCheckStepCount; ++step) {
        const std::string header = "\r\n第" + std::to_string(step) + "步---" + GetCheckStepName(step);
        const size_t found = report.find(header, at);
        ASSERT_NE(std::string::npos, found) << "step " << step;
        at = found + header.size();
    }
    EXPECT_EQ(Separator(), report.substr(report.size() - Separator().size()));
    EXPECT_EQ(9, frontEnd.ProgressSteps());
    EXPECT_EQ(1, frontEnd.DoneNotices());
}

// The optional steps only add blocks after the ninth, the last one the run's findings:
// what comes before is the report of a run without them, byte for byte.
TEST(CheckRun, OptionalStepsFollowTheNinthInTheSameGrammar) {
    EnsureNetworking();
    CCheckOptions options = FailingOptions();
    options.endpoints.httpsPort = 9;
    CRecordingFrontEnd plain;
    CheckThreadProc(&plain, kDomain, options);
    options.extended = true;
    CRecordingFrontEnd extended;
    CheckThreadProc(&extended, kDomain, options);

    const std::string nine = plain.Report();
    const std::string twelve = extended.Report();
    ASSERT_GT(twelve.size(), nine.size());
    EXPECT_EQ(nine, twelve.substr(0, nine.size()));
    size_t at = nine.size();
    const int last = kCheckStepCount + kExtendedStepCount;
    for (int step = 10; step <= last; ++step) {
        const std::string header = "\r\n第" + std::to_string(step) + "步---" +
                                   GetCheckStepName(step) + "：2026- 3- 7  9: 5: 4\r\n";
        EXPECT_EQ(at, twelve.find(header, at)) << "step " << step;
        at = twelve.find(Separator(), at);
        ASSERT_NE(std::string::npos, at) << "step " << step;
        at += Separator().size();
    }
    // Then the run's findings, numbered as the next step, in the same grammar.
    const std::string diagnosis = "\r\n第" + std::to_string(CheckStepCount(options) + 1) +
                                  "步---诊断结论：2026- 3- 7  9: 5: 4\r\n[";
    EXPECT_EQ(at, twelve.find(diagnosis, at));
    EXPECT_NE(std::string::npos, twelve.find("[严重] ", at));
    at = twelve.find(Separator(), at);
    ASSERT_NE(std::string::npos, at);
    EXPECT_EQ(twelve.size(), at + Separator().size());
    EXPECT_STREQ("DNS解析", GetCheckStepName(10));
    EXPECT_STREQ("HTTPS访问及证书", GetCheckStepName(11));
    EXPECT_STREQ("IPv6连通性", GetCheckStepName(12));
    EXPECT_STREQ("路由逐跳统计", GetCheckStepName(13));
    EXPECT_EQ(9, plain.ProgressSteps());
    EXPECT_STREQ("路由逐跳统计", GetCheckStepName(13));
    EXPECT_STREQ("出口IP与DNS", GetCheckStepName(last - 2));
    EXPECT_STREQ("代理与本机网络环境", GetCheckStepName(last - 1));
    EXPECT_STREQ("网站访问耗时", GetCheckStepName(last));
    EXPECT_EQ(last, extended.ProgressSteps());
    EXPECT_EQ(1, extended.DoneNotices());
}

TEST(CheckRun, AStopRaisedBeforehandEndsTheRunWithoutFurtherOutputOrNotice) {
    CStopSignal stop;
    stop.Raise();
    CCheckOptions options = FailingOptions();
    options.stop = &stop;
    CRecordingFrontEnd frontEnd;
    EXPECT_EQ(0, CheckThreadProc(&frontEnd, kDomain, options));
    EXPECT_EQ(1u, frontEnd.Appends().size());  // the banner only
    EXPECT_EQ(0, frontEnd.ProgressSteps());
    EXPECT_EQ(0, frontEnd.DoneNotices());
}

namespace {

// A front end whose memory runs out at one chosen append.
class COutOfMemoryFrontEnd : public CRecordingFrontEnd {
public:
    explicit COutOfMemoryFrontEnd(int failingAppend) : m_failingAppend(failingAppend) {}

    void AppendOutput(const CString& text) override {
        if (++m_appends == m_failingAppend) throw std::bad_alloc();
        CRecordingFrontEnd::AppendOutput(text);
    }

private:
    const int m_failingAppend;
    int m_appends = 0;
};

}  // namespace

// Memory running out while the report grows ends the run with a line saying so and the
// usual end notice, instead of ending the program.
TEST(CheckRun, AnAllocationFailureWhileAppendingEndsTheRunWithAMessage) {
    const std::string outOfMemory = "\r\n内存不足，检测已中止。\r\n";
    const struct {
        int failingAppend;
        std::vector<std::string> kept;
    } cases[] = {
        {1, {}},
        {2, {kReportBanner}},
        {3, {kReportBanner, "\r\n第1步---获取域名信息：2026- 3- 7  9: 5: 4\r\n"}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.failingAppend);
        COutOfMemoryFrontEnd frontEnd(row.failingAppend);
        EXPECT_EQ(0, CheckThreadProc(&frontEnd, kDomain, FailingOptions()));
        std::vector<std::string> expected = row.kept;
        expected.push_back(outOfMemory);
        EXPECT_EQ(expected, frontEnd.Appends());
        EXPECT_EQ(0, frontEnd.ProgressSteps());
        EXPECT_EQ(1, frontEnd.DoneNotices());
    }
}

// Both front ends' texts for the step in progress, counted in whole seconds from the
// step's start; nothing once the run has ended.
TEST(RunProgress, NamesTheStepAndItsSeconds) {
    CRunProgress progress;
    const auto now = std::chrono::steady_clock::now();
    EXPECT_TRUE(progress.TerminalStatus(now).IsEmpty());
    progress.StepStarted(5, 9);
    progress.CommandPrinted("Connecting to 127.0.0.1:21: ");
    const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(8500);
    EXPECT_EQ(CString("[5/9] 检测FTP（21）端口 8秒"), progress.TerminalStatus(later));
    EXPECT_EQ(CString("正在检测...请勿关闭窗口！ 第5步 检测FTP（21）端口 8秒"), progress.WindowStatus(later));
    EXPECT_EQ(CString("Connecting to 127.0.0.1:21: "), progress.CommandLine());
    progress.StepStarted(10, 12);  // a new step forgets the last one's command
    EXPECT_EQ(CString("[10/12] DNS解析 0秒"), progress.TerminalStatus(std::chrono::steady_clock::now()));
    EXPECT_TRUE(progress.CommandLine().IsEmpty());
    progress.Ended();
    EXPECT_TRUE(progress.WindowStatus(later).IsEmpty());
}

#ifndef _WIN32
// The worker tells the front end each step as it begins, before any of its report text.
TEST_F(PathCleared, EveryStepIsAnnouncedBeforeItsText) {
    class CStepLog : public CRecordingFrontEnd {
    public:
        void StepStarted(int step, int stepCount) override {
            starts.push_back(std::to_string(step) + "/" + std::to_string(stepCount) + " after " +
                             std::to_string(Appends().size()));
        }
        std::vector<std::string> starts;
    };
    EnsureNetworking();
    CStepLog frontEnd;
    CheckThreadProc(&frontEnd, kDomain, FailingOptions());
    std::vector<std::string> expected;
    // The banner, then three appends a step: header, text, separator.
    for (int step = 1; step <= kCheckStepCount; ++step) {
        expected.push_back(std::to_string(step) + "/9 after " + std::to_string(1 + 3 * (step - 1)));
    }
    EXPECT_EQ(expected, frontEnd.starts);
}
#endif
