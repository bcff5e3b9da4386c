#include "net.hpp"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace standin {

Resolution resolve_host(const std::string& host, std::chrono::milliseconds limit) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done_cv;
        bool done = false;
        Resolution outcome;
    };
    auto shared = std::make_shared<Shared>();

    std::thread([shared, host] {
        Resolution outcome = lookup_blocking(host);
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->outcome = std::move(outcome);
        shared->done = true;
        shared->done_cv.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->done_cv.wait_for(lock, limit, [&] { return shared->done; })) {
        Resolution late;
        late.error = "the name lookup did not finish within " +
                     std::to_string(limit.count() / 1000) + " seconds";
        return late;
    }
    return shared->outcome;
}

std::string endpoint_text(const Address& address, unsigned port) {
    if (address.text.find(':') != std::string::npos)
        return "[" + address.text + "]:" + std::to_string(port);
    return address.text + ":" + std::to_string(port);
}

std::string failure_words(const ConnectResult& result) {
    switch (result.failure) {
        case ConnectFailure::none:
            return "";
        case ConnectFailure::refused:
            return "The remote computer refused the network connection.";
        case ConnectFailure::timed_out:
            return "This operation returned because the timeout period expired.";
        case ConnectFailure::network_unreachable:
            return "The network location cannot be reached.";
        case ConnectFailure::host_unreachable:
            return "The remote host cannot be reached.";
        case ConnectFailure::other:
            break;
    }
    return result.detail;
}

}  // namespace standin
