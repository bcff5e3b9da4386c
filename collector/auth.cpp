#include "collector/auth.h"

#include <argon2.h>
#include <openssl/evp.h>

#include "collector/tickets.h"

namespace {

// The cost of one hash: three passes over 64 MiB, about a tenth of a second here, which
// is what a login may spend and a guesser with the hashes may not.
constexpr uint32_t kTimeCost = 3;
constexpr uint32_t kMemoryKiB = 64 * 1024;
constexpr uint32_t kLanes = 1;
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;

}  // namespace

std::string HashPassword(const std::string& password) {
    const std::string salt = RandomHex(kSaltBytes);
    const size_t length = argon2_encodedlen(kTimeCost, kMemoryKiB, kLanes,
                                            static_cast<uint32_t>(salt.size()), kHashBytes,
                                            Argon2_id);
    std::string encoded(length, '\0');
    const int rc = argon2id_hash_encoded(kTimeCost, kMemoryKiB, kLanes, password.data(),
                                         password.size(), salt.data(), salt.size(), kHashBytes,
                                         encoded.data(), encoded.size());
    if (rc != ARGON2_OK) return std::string();
    encoded.resize(encoded.find('\0') == std::string::npos ? encoded.size() : encoded.find('\0'));
    return encoded;
}

bool VerifyPassword(const std::string& encodedHash, const std::string& password) {
    if (encodedHash.empty()) return false;
    return argon2id_verify(encodedHash.c_str(), password.data(), password.size()) == ARGON2_OK;
}

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

bool CLoginThrottle::Allowed(const std::string& source, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_records.find(source);
    if (it == m_records.end()) return true;
    if (now - it->second.first > kWindow) {
        m_records.erase(it);
        return true;
    }
    return it->second.failures < kMaxFailures;
}

void CLoginThrottle::Failed(const std::string& source, Clock::time_point now) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Bounded whatever the number of sources: old windows go first, then everything.
    if (m_records.size() > 100000) {
        for (auto it = m_records.begin(); it != m_records.end();)
            it = now - it->second.first > kWindow ? m_records.erase(it) : std::next(it);
        if (m_records.size() > 100000) m_records.clear();
    }
    CRecord& record = m_records[source];
    if (record.failures == 0 || now - record.first > kWindow) record = {0, now};
    ++record.failures;
}

void CLoginThrottle::Succeeded(const std::string& source) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.erase(source);
}
