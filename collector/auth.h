// The desk's credentials: passwords kept as argon2id hashes, session ids and bearer
// tokens kept only as SHA-256 digests (they are long random strings, so a fast digest
// is enough and a stolen table gives nothing to log in with), and failed logins slowed.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

// An encoded argon2id hash ("$argon2id$v=19$..."); empty when hashing failed.
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& encodedHash, const std::string& password);

// Lower-case hex SHA-256 of text.
std::string Sha256Hex(const std::string& text);

// Failed logins per source address. Each failure is answered late, and a source with
// too many recent failures is refused outright until its window has passed.
class CLoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxFailures = 10;
    static constexpr std::chrono::minutes kWindow{15};
    static constexpr std::chrono::milliseconds kFailureDelay{1000};

    bool Allowed(const std::string& source, Clock::time_point now = Clock::now());
    void Failed(const std::string& source, Clock::time_point now = Clock::now());
    void Succeeded(const std::string& source);

private:
    struct CRecord {
        int failures = 0;
        Clock::time_point first;
    };
    std::mutex m_mutex;
    std::map<std::string, CRecord> m_records;
};
