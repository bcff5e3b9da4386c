#include "platform/side_by_side.h"

#include <system_error>
#include <thread>

void RunSideBySide(const std::vector<std::function<void()>>& calls) {
    std::vector<std::thread> threads;
    std::vector<const std::function<void()>*> leftOver;
    for (const auto& call : calls) {
        try {
            threads.emplace_back(call);
        } catch (const std::system_error&) {
            leftOver.push_back(&call);
        }
    }
    for (const auto* call : leftOver) (*call)();
    for (std::thread& thread : threads) thread.join();
}
