#include "collector/rate_limit.h"

#include <algorithm>

CRateLimiter::CRateLimiter(int perMinute, size_t maxSources)
    : m_perMinute(perMinute), m_maxSources(maxSources) {}

double CRateLimiter::Refilled(const CBucket& bucket, Clock::time_point now) const {
    const double minutes = std::chrono::duration<double>(now - bucket.updated).count() / 60.0;
    return std::min<double>(m_perMinute, bucket.tokens + minutes * m_perMinute);
}

void CRateLimiter::Prune(Clock::time_point now) {
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        if (Refilled(it->second, now) >= m_perMinute)
            it = m_buckets.erase(it);
        else
            ++it;
    }
    // Still full: every source is sending hard. Start over rather than grow; the
    // worst this does is give each of them a fresh minute.
    if (m_buckets.size() >= m_maxSources) m_buckets.clear();
}

bool CRateLimiter::Allow(const std::string& source, Clock::time_point now) {
    if (m_perMinute <= 0) return true;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_buckets.find(source);
    if (it == m_buckets.end()) {
        if (m_buckets.size() >= m_maxSources) Prune(now);
        it = m_buckets.emplace(source, CBucket{static_cast<double>(m_perMinute), now}).first;
    }
    CBucket& bucket = it->second;
    bucket.tokens = Refilled(bucket, now);
    bucket.updated = now;
    if (bucket.tokens < 1.0) return false;
    bucket.tokens -= 1.0;
    return true;
}
