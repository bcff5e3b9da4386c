// Bounds on one whois query, so a slow or endless server cannot hold the check run.
#pragma once

#include "platform/time_limits.h"

// Longest answer kept; whois records are a few kilobytes.
constexpr int kWhoisAnswerCapBytes = 1024 * 1024;

struct CWhoisLimits {
    int connectMs = kWhoisConnectLimitMs;
    int silenceMs = kWhoisSilenceLimitMs;
    int queryMs = kWhoisQueryLimitMs;
    int answerCapBytes = kWhoisAnswerCapBytes;
};
