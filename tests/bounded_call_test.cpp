// The helper-thread runner: calls that finish, calls abandoned at a deadline, a stop
// or the caller's own reason, and threads left behind that finish alone. Run under
// ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bounded_call.h"
#include "platform/stop_signal.h"

namespace {

using CSteady = std::chrono::steady_clock;

double SecondsSince(CSteady::time_point start) {
    return std::chrono::duration<double>(CSteady::now() - start).count();
}

// Holds a job until the test lets it go.
class CGate {
public:
    void Open() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = true;
        m_opened.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_opened.wait(guard, [this] { return m_open; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_opened;
    bool m_open = false;
};

TEST(BoundedRunner, JobsRunInOrderOnOneHelperThread) {
    CBoundedRunner runner;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(EBoundedCall::kDone, runner.Run([&, i] {
            order.push_back(i);
            threads.push_back(std::this_thread::get_id());
        }, CDeadline(5000), nullptr));
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2}), order);
    EXPECT_EQ(threads[0], threads[2]);
    EXPECT_NE(std::this_thread::get_id(), threads[0]);
}

// Each way of giving up ends the wait promptly; the job, still blocked, finishes later
// on its own, and the final job runs after it.
TEST(BoundedRunner, AnAbandonedCallFinishesAloneAndTheFinalJobRunsAfterIt) {
    enum class EWhy { kDeadline, kStop, kGiveUp };
    struct CCase {
        EWhy why;
        EBoundedCall expected;
    };
    const CCase cases[] = {{EWhy::kDeadline, EBoundedCall::kTimedOut},
                           {EWhy::kStop, EBoundedCall::kStopped},
                           {EWhy::kGiveUp, EBoundedCall::kGivenUp}};
    for (const CCase& c : cases) {
        auto gate = std::make_shared<CGate>();
        auto steps = std::make_shared<std::vector<std::string>>();
        auto finished = std::make_shared<CGate>();
        CStopSignal stop;
        std::atomic<bool> giveUp{false};
        const auto start = CSteady::now();
        {
            CBoundedRunner runner;
            runner.SetFinalJob([steps, finished] {
                steps->push_back("final");
                finished->Open();
            });
            std::thread trigger([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                if (c.why == EWhy::kStop) stop.Raise();
                if (c.why == EWhy::kGiveUp) {
                    giveUp = true;
                    runner.Waker()();
                }
            });
            const int limitMs = c.why == EWhy::kDeadline ? 300 : 30000;
            EXPECT_EQ(c.expected, runner.Run([gate, steps] {
                gate->Wait();
                steps->push_back("job");
            }, CDeadline(limitMs), &stop, [&giveUp] { return giveUp.load(); }));
            trigger.join();
            // Nothing more runs once a call was abandoned.
            EXPECT_EQ(c.expected, runner.Run([steps] { steps->push_back("later"); }, CDeadline(1000), nullptr));
        }
        EXPECT_LT(SecondsSince(start), 2.0) << "the wait or the runner's end was held by the job";
        gate->Open();
        finished->Wait();
        EXPECT_EQ((std::vector<std::string>{"job", "final"}), *steps);
    }
}

TEST(BoundedRunner, AStopRaisedBeforehandRunsNothing) {
    CStopSignal stop;
    stop.Raise();
    CBoundedRunner runner;
    bool ran = false;
    EXPECT_EQ(EBoundedCall::kStopped, runner.Run([&ran] { ran = true; }, CDeadline(1000), &stop));
    EXPECT_FALSE(ran);
}

TEST(RunBounded, HandsBackTheResultOrLeavesItUntouched) {
    std::string result = "untouched";
    EXPECT_EQ(EBoundedCall::kDone,
              RunBounded<std::string>([] { return std::string("answer"); }, 5000, nullptr, &result));
    EXPECT_EQ("answer", result);

    auto gate = std::make_shared<CGate>();
    result = "untouched";
    EXPECT_EQ(EBoundedCall::kTimedOut, RunBounded<std::string>([gate] {
        gate->Wait();
        return std::string("late");
    }, 100, nullptr, &result));
    EXPECT_EQ("untouched", result);
    gate->Open();
}

}  // namespace
