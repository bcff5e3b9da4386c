// Uploads per source address per minute. Each source has a bucket that refills at the
// configured rate, holding at most one minute's worth, so a burst up to the rate is let
// through and a steady stream above it is refused. The table is bounded: when it is
// full, sources whose bucket has refilled completely are forgotten first.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

class CRateLimiter {
public:
    using Clock = std::chrono::steady_clock;
    // perMinute 0 turns the limit off.
    explicit CRateLimiter(int perMinute, size_t maxSources = 100000);

    // True when source may send one more now (and counts it).
    bool Allow(const std::string& source, Clock::time_point now = Clock::now());

private:
    struct CBucket {
        double tokens = 0;
        Clock::time_point updated;
    };
    double Refilled(const CBucket& bucket, Clock::time_point now) const;
    void Prune(Clock::time_point now);

    int m_perMinute;
    size_t m_maxSources;
    std::mutex m_mutex;
    std::unordered_map<std::string, CBucket> m_buckets;
};
