// Bounds on one whois query, so a slow or endless server cannot hold the check run.
#pragma once

constexpr int kWhoisConnectLimitMs = 10 * 1000;
// Longest silence between two pieces of an answer (and longest wait for a send).
constexpr int kWhoisSilenceLimitMs = 15 * 1000;
// Whole query, from the start of the connect to the last read.
constexpr int kWhoisQueryLimitMs = 60 * 1000;
// Longest answer kept; whois records are a few kilobytes.
constexpr int kWhoisAnswerCapBytes = 1024 * 1024;

struct CWhoisLimits {
    int connectMs = kWhoisConnectLimitMs;
    int silenceMs = kWhoisSilenceLimitMs;
    int queryMs = kWhoisQueryLimitMs;
    int answerCapBytes = kWhoisAnswerCapBytes;
};
