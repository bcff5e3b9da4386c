#include "platform/deadline.h"

namespace {

class CSteadyClock : public IClock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
};

}  // namespace

// Never destroyed: a bounded call's worker may still be running when the program ends,
// and its deadline reads the clock after static destructors would have run.
const IClock& SteadyClock() {
    static const CSteadyClock* const clock = new CSteadyClock;
    return *clock;
}
