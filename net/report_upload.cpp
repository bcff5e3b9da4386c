#include "net/report_upload.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "net/http_client.h"
#include "platform/http_transport.h"
#include "platform/stop_signal.h"
#include "platform/utf8_gbk.h"

namespace {

constexpr int kAttempts = 3;
constexpr int kExchangeMs = 30000;

struct CUrlParts {
    std::string scheme, host, rest;
};

// "https://host:port/path" -> scheme, host (brackets kept for IPv6), everything after.
bool SplitUrl(const std::string& url, CUrlParts* parts) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return false;
    parts->scheme = url.substr(0, colon);
    const size_t hostStart = colon + 3;
    size_t hostEnd = url.find('/', hostStart);
    if (hostEnd == std::string::npos) hostEnd = url.size();
    std::string authority = url.substr(hostStart, hostEnd - hostStart);
    if (authority.empty() || authority.find('@') != std::string::npos) return false;
    const size_t portColon = authority.rfind(':');
    const bool bracketed = authority.front() == '[';
    if (portColon != std::string::npos && (!bracketed || authority[portColon - 1] == ']'))
        authority = authority.substr(0, portColon);
    parts->host = authority;
    parts->rest = url.substr(hostEnd);
    return true;
}

bool IsLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "[::1]") return true;
    if (host.compare(0, 4, "127.") != 0) return false;
    return host.find_first_not_of("0123456789.") == std::string::npos;
}

bool IsPlainText(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return false;
    return true;
}

std::string Trimmed(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url;
}

// The collector's answer: its ticket, or the reason it gives, or the status alone.
CReportUpload ReadAnswer(const CHttpPostAnswer& answer) {
    CReportUpload upload;
    const nlohmann::json body = nlohmann::json::parse(answer.body, nullptr, false);
    const std::string ticket = body.is_object() ? body.value("ticket", "") : std::string();
    if ((answer.status == 200 || answer.status == 201) && ticket.size() == 9 && IsPlainText(ticket)) {
        upload.ok = true;
        upload.ticket = ticket;
        return upload;
    }
    const std::string reason = body.is_object() ? body.value("error", "") : std::string();
    upload.error = "the collector answered " + std::to_string(answer.status);
    if (!reason.empty()) upload.error += ": " + Utf8ToGbkLossy(reason.substr(0, 300));
    return upload;
}

std::string FailureText(const CHttpOutcome& outcome) {
    switch (outcome.failure) {
        case EHttpFailure::kNameNotResolved: return "the collector's name does not resolve";
        case EHttpFailure::kRefused: return "the collector refused the connection";
        case EHttpFailure::kCannotConnect: return "the collector cannot be reached";
        case EHttpFailure::kTimedOut: return "the collector did not answer in time";
        case EHttpFailure::kConnectionLost: return "the connection to the collector was lost";
        case EHttpFailure::kStopped: return "stopped";
        default: return "the exchange with the collector failed (" + std::to_string(outcome.code) + ")";
    }
}

}  // namespace

bool IsCollectorAddress(const std::string& baseUrl, std::string* why) {
    CUrlParts parts;
    if (!IsPlainText(baseUrl) || !SplitUrl(baseUrl, &parts) || parts.host.empty()) {
        *why = "not a collector address: " + baseUrl.substr(0, 200);
        return false;
    }
    if (parts.scheme == "https" || (parts.scheme == "http" && IsLoopbackHost(parts.host))) return true;
    *why = "the collector's address must be https (http only to this machine)";
    return false;
}

std::string NewUploadKey() {
    std::random_device device;
    // Some systems' random_device is weak; the clock makes two keys alike still unlikely.
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()),
                       static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    std::mt19937_64 generator(seed);
    char key[40];
    std::snprintf(key, sizeof key, "tv-%016llx%016llx",
                  static_cast<unsigned long long>(generator()), static_cast<unsigned long long>(generator()));
    return key;
}

CReportUpload UploadReport(const std::string& baseUrl, const std::string& body, bool json,
                           const std::string& key, CStopSignal* stop) {
    CReportUpload upload;
    if (!IsCollectorAddress(baseUrl, &upload.error)) return upload;
    CHttpPost post;
    post.url = CString(Trimmed(baseUrl) + "/api/v1/reports");
    post.headers = {json ? "Content-Type: application/json" : "Content-Type: text/plain; charset=GBK",
                    "Idempotency-Key: " + key};
    post.body = body;
    CHttpLimits limits;
    limits.connectMs = limits.silenceMs = limits.totalMs = kExchangeMs;
    limits.maxBodyBytes = 64 << 10;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        const CHttpPostAnswer answer = SendPost(post, stop, limits);
        if (answer.outcome.failure == EHttpFailure::kStopped) {
            upload.error = "stopped";
            return upload;
        }
        const bool answered = answer.outcome.failure == EHttpFailure::kNone;
        upload = answered ? ReadAnswer(answer) : CReportUpload{false, "", FailureText(answer.outcome)};
        if (upload.ok || (answered && answer.status != 503)) return upload;
        if (attempt < kAttempts) std::this_thread::sleep_for(std::chrono::seconds(attempt));
    }
    return upload;
}
