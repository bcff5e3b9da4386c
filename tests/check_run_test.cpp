#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/check_run.h"
#include "engine/report_buffer.h"
#include "platform/stop_signal.h"
#include "tests/test_support.h"

namespace {

int ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - since)
                                .count());
}

// A gate the test opens to let a blocked worker go on.
class CLatch {
public:
    void Open() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = true;
        m_changed.notify_all();
    }
    bool WaitOpen(int timeoutMs) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_open; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_open = false;
};

// What the workers below share with the test; a worker is a plain function.
struct CWorkerState {
    CLatch release;   // opened by the test
    CLatch finished;  // opened by the worker as its last act
    std::atomic<bool> sawStop{false};
};
CWorkerState* g_state = nullptr;

void WholeReport(ICheckFrontEnd* frontEnd, const CString& domain, CStopSignal*) {
    frontEnd->AppendOutput("banner ");
    frontEnd->AppendOutput("checking " + domain);
    for (int step = 1; step <= 9; ++step) frontEnd->StepProgress(step, "name");
    frontEnd->NotifyCheckDone();
}

// Keeps appending until told to stop, as a run does between probes.
void AppendUntilStopped(ICheckFrontEnd* frontEnd, const CString&, CStopSignal* stop) {
    const auto started = std::chrono::steady_clock::now();
    while (ElapsedMs(started) < 10000) {
        if (stop->IsRaised()) {
            g_state->sawStop = true;
            break;
        }
        frontEnd->AppendOutput("x");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_state->finished.Open();
}

// Stuck in a call that never looks at the stop signal, and talks once it returns.
void IgnoresStop(ICheckFrontEnd* frontEnd, const CString&, CStopSignal* stop) {
    g_state->release.WaitOpen(20000);
    g_state->sawStop = stop->IsRaised();
    frontEnd->AppendOutput("late");
    frontEnd->StepProgress(1, "late");
    frontEnd->NotifyCheckDone();
    g_state->finished.Open();
}

class RunController : public ::testing::Test {
protected:
    void SetUp() override { g_state = &m_state; }
    void TearDown() override {
        // No worker may outlive the state it uses.
        m_state.release.Open();
        EXPECT_TRUE(m_state.finished.WaitOpen(20000));
        g_state = nullptr;
    }

    std::unique_ptr<CCheckRun> Start(CheckWorker worker) {
        auto run = CCheckRun::Start(m_frontEnd, "example.com", worker);
        EXPECT_NE(run, nullptr);
        return run;
    }

    void ExpectStopEndsTheRun(const CCheckRun::IdleWait& idle) {
        auto run = Start(&AppendUntilStopped);
        while (m_frontEnd->Appends().size() < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        run->Stop();
        const size_t atStop = m_frontEnd->Appends().size();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_TRUE(run->WaitForEnd(5000, idle));
        EXPECT_LT(ElapsedMs(started), 2000);
        EXPECT_TRUE(m_state.sawStop);
        EXPECT_TRUE(run->IsStopped());
        // At most the one append that was already under way when the run was stopped.
        EXPECT_LE(m_frontEnd->Appends().size(), atStop + 1);
    }

    CWorkerState m_state;
    std::shared_ptr<CRecordingFrontEnd> m_frontEnd = std::make_shared<CRecordingFrontEnd>();
};

}  // namespace

TEST_F(RunController, TheWorkerRunsOnTheDomainAndEverythingItSaysArrivesInOrder) {
    m_state.finished.Open();
    auto run = Start(&WholeReport);
    ASSERT_TRUE(run->WaitForEnd(10000));
    EXPECT_TRUE(run->HasEnded());
    EXPECT_FALSE(run->IsStopped());
    EXPECT_EQ(m_frontEnd->Appends(), (std::vector<std::string>{"banner ", "checking example.com"}));
    EXPECT_EQ(m_frontEnd->ProgressSteps(), 9);
    EXPECT_EQ(m_frontEnd->DoneNotices(), 1);
}

// Both ways of waiting: the front end's own idle function, and none.
TEST_F(RunController, StoppingReachesTheWorkerAndCutsItOffFromTheFrontEnd) {
    int idleCalls = 0;
    ExpectStopEndsTheRun([&](int sliceMs) {
        ++idleCalls;
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return true;
    });
    EXPECT_GT(idleCalls, 0);
}

TEST_F(RunController, StoppingEndsTheRunForAWaitWithoutIdleFunction) {
    ExpectStopEndsTheRun(CCheckRun::IdleWait());
}

TEST_F(RunController, TheWaitIsBoundedAndAWorkerLeftBehindNeverReachesTheFrontEnd) {
    std::weak_ptr<CRecordingFrontEnd> frontEnd = m_frontEnd;
    auto run = Start(&IgnoresStop);
    m_frontEnd.reset();
    run->Stop();
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run->WaitForEnd(200));
    EXPECT_LT(ElapsedMs(started), 1000);
    started = std::chrono::steady_clock::now();
    run.reset();  // leaves the worker behind instead of waiting for it
    EXPECT_LT(ElapsedMs(started), 1000);

    // The worker keeps its share of the front end until it is done with it.
    ASSERT_FALSE(frontEnd.expired());
    const auto recorder = frontEnd.lock();
    m_state.release.Open();
    ASSERT_TRUE(m_state.finished.WaitOpen(10000));
    EXPECT_TRUE(m_state.sawStop);
    EXPECT_TRUE(recorder->Appends().empty());
    EXPECT_EQ(recorder->ProgressSteps(), 0);
    EXPECT_EQ(recorder->DoneNotices(), 0);
}

TEST_F(RunController, LettingGoOfARunningRunStopsItWithoutWaiting) {
    auto run = Start(&AppendUntilStopped);
    const auto started = std::chrono::steady_clock::now();
    run.reset();
    EXPECT_LT(ElapsedMs(started), 1000);
    ASSERT_TRUE(m_state.finished.WaitOpen(10000));
    EXPECT_TRUE(m_state.sawStop);
}

TEST_F(RunController, TheIdleFunctionGetsShortSlicesWithinTheLimitAndCanEndTheWait) {
    auto run = Start(&IgnoresStop);
    std::vector<int> slices;
    // Without a limit, the wait lasts until the front end ends it.
    EXPECT_FALSE(run->WaitForEnd(-1, [&](int sliceMs) {
        slices.push_back(sliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return slices.size() < 5;
    }));
    EXPECT_EQ(slices.size(), 5u);
    // With a limit, the slices add up to no more than it.
    slices.clear();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run->WaitForEnd(60, [&](int sliceMs) {
        slices.push_back(sliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return true;
    }));
    EXPECT_LT(ElapsedMs(started), 1000);
    int total = 0;
    for (const int slice : slices) {
        EXPECT_GT(slice, 0);
        EXPECT_LE(slice, 20);
        total += slice;
    }
    EXPECT_LE(total, 60);
    m_state.release.Open();
    EXPECT_TRUE(run->WaitForEnd(10000, [](int sliceMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return true;
    }));
}

TEST(ReportBuffer, KeepsEveryByteInOrderUntilCleared) {
    const std::string pieces[] = {
        "======================= \xBF\xAA\xCA\xBC\xBC\xEC\xB2\xE2 =======================\r\n",
        std::string("nul\0inside \xFF\x80", 14),
        "lone\nline\rends\r\r\n",
        "\xB5",  // a lead byte cut off at the end of a piece
        "",
    };
    CReportBuffer report;
    std::string expected;
    for (const std::string& piece : pieces) {
        report.Append(CString(piece));
        expected += piece;
        EXPECT_EQ(report.Snapshot().Bytes(), expected);
    }
    report.Clear();
    EXPECT_TRUE(report.Snapshot().IsEmpty());
}

// Appends from several threads while another reads: each piece arrives whole.
TEST(ReportBuffer, TakesAppendsFromSeveralThreadsAtOnce) {
    CReportBuffer report;
    const int kPieces = 500;
    std::vector<std::thread> writers;
    for (char letter : {'a', 'b', 'c'}) {
        writers.emplace_back([&report, letter] {
            for (int i = 0; i < kPieces; ++i) report.Append(CString(std::string(4, letter)));
        });
    }
    for (int i = 0; i < 50; ++i) EXPECT_EQ(report.Snapshot().GetLength() % 4, 0);
    for (std::thread& writer : writers) writer.join();
    const std::string bytes = report.Snapshot().Bytes();
    ASSERT_EQ(bytes.size(), 3u * 4 * kPieces);
    for (size_t at = 0; at < bytes.size(); at += 4) {
        EXPECT_EQ(bytes.substr(at, 4), std::string(4, bytes[at])) << at;
    }
}
