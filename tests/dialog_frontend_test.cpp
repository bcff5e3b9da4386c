#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "app/app_messages.h"
#include "app/dialog_frontend.h"
#include "engine/check_run.h"
#include "platform/deadline.h"
#include "platform/stop_signal.h"

namespace {

// Stands in for the dialog and its progress bar: records what the worker hands over.
struct CSink {
    std::vector<std::string> appends;
    int steps = 0;
    int doneNotices = 0;
};

LRESULT CALLBACK SinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* sink = reinterpret_cast<CSink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (sink && message == WM_APP_APPEND) {
        sink->appends.push_back(reinterpret_cast<const CString*>(lParam)->Bytes());
        return 0;
    }
    if (sink && message == PBM_STEPIT) {
        ++sink->steps;
        return 0;
    }
    if (sink && message == WM_CHECK_DONE) {
        ++sink->doneNotices;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeSink(CSink* sink) {
    static const ATOM kClass = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &SinkProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"CheckRunTestSink";
        return RegisterClassW(&windowClass);
    }();
    EXPECT_NE(kClass, 0);
    HWND window = CreateWindowExW(0, L"CheckRunTestSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink));
    return window;
}

// Runs this thread's message loop until the condition holds or the time is up.
template <class Condition>
bool PumpUntil(int timeoutMs, Condition condition) {
    const CDeadline deadline(timeoutMs);
    while (!condition()) {
        if (deadline.Passed()) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
}

void PumpFor(int milliseconds) {
    PumpUntil(milliseconds, [] { return false; });
}

int ElapsedMs(std::chrono::steady_clock::time_point since) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - since).count());
}

void WholeReport(ICheckFrontEnd* frontEnd, const CString&, CStopSignal*) {
    frontEnd->AppendOutput("banner");
    for (int step = 1; step <= 9; ++step) {
        frontEnd->AppendOutput(CString(("step " + std::to_string(step)).c_str()));
        frontEnd->StepProgress(step, "name");
    }
    frontEnd->NotifyCheckDone();
}

std::atomic<bool> g_sawStop{false};

// Keeps the interface busy with appends until told to stop.
void AppendUntilStopped(ICheckFrontEnd* frontEnd, const CString&, CStopSignal* stop) {
    g_sawStop = false;
    const CDeadline limit(10000);
    while (!limit.Passed()) {
        if (stop->IsRaised()) {
            g_sawStop = true;
            return;
        }
        frontEnd->AppendOutput("x");
    }
}

HANDLE g_lateWorkerFinished = nullptr;

// A worker stuck in a call that does not notice the stop signal, which talks afterwards.
void LateWorker(ICheckFrontEnd* frontEnd, const CString&, CStopSignal*) {
    Sleep(1000);
    frontEnd->AppendOutput("late");
    frontEnd->StepProgress(1, "late");
    frontEnd->NotifyCheckDone();
    SetEvent(g_lateWorkerFinished);
}

class DialogRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_dialog = MakeSink(&m_sink);
        m_progress = MakeSink(&m_sink);
        ASSERT_NE(m_dialog, nullptr);
        ASSERT_NE(m_progress, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_dialog);
        DestroyWindow(m_progress);
    }

    std::unique_ptr<CCheckRun> Start(CheckWorker worker) {
        return CCheckRun::Start(std::make_shared<CDialogFrontEnd>(m_dialog, m_progress), "example.com",
                                worker);
    }

    CSink m_sink;
    HWND m_dialog = nullptr;
    HWND m_progress = nullptr;
};

}  // namespace

TEST_F(DialogRun, ReportReachesTheDialogInOrderThenTheRunEnds) {
    auto run = Start(&WholeReport);
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(PumpUntil(10000, [&] { return m_sink.doneNotices > 0; }));
    EXPECT_TRUE(run->WaitForEnd(5000, &HandleSentMessages));
    std::vector<std::string> expected = {"banner"};
    for (int step = 1; step <= 9; ++step) expected.push_back("step " + std::to_string(step));
    EXPECT_EQ(m_sink.appends, expected);
    EXPECT_EQ(m_sink.steps, 9);
    EXPECT_EQ(m_sink.doneNotices, 1);
}

TEST_F(DialogRun, AbandoningWhileTheWorkerWaitsOnTheDialogEndsPromptly) {
    auto run = Start(&AppendUntilStopped);
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(PumpUntil(10000, [&] { return m_sink.appends.size() >= 50; }));
    // From here on this thread handles nothing but what WaitForEnd handles, as a
    // closing dialog does.
    run->Stop();
    const size_t beforeWait = m_sink.appends.size();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(run->WaitForEnd(5000, &HandleSentMessages));
    EXPECT_LT(ElapsedMs(started), 2000);
    EXPECT_TRUE(g_sawStop);
    // At most the one append that was already on its way when the run was cut off.
    EXPECT_LE(m_sink.appends.size(), beforeWait + 1);
    EXPECT_TRUE(run->IsStopped());
}

TEST_F(DialogRun, WaitIsBoundedAndAnAbandonedWorkerNeverReachesTheDialog) {
    g_lateWorkerFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto run = Start(&LateWorker);
    ASSERT_NE(run, nullptr);
    run->Stop();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(run->WaitForEnd(200, &HandleSentMessages));
    EXPECT_LT(ElapsedMs(started), 800);
    run.reset();  // the dialog lets go of the run; the worker keeps its front end
    ASSERT_EQ(WaitForSingleObject(g_lateWorkerFinished, 5000), WAIT_OBJECT_0);
    PumpFor(200);
    EXPECT_TRUE(m_sink.appends.empty());
    EXPECT_EQ(m_sink.steps, 0);
    EXPECT_EQ(m_sink.doneNotices, 0);
    CloseHandle(g_lateWorkerFinished);
}
