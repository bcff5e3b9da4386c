// Reads one whois answer: blocks of at most 512 bytes until the server closes, within
// the query's limits.
#pragma once

#include "platform/deadline.h"
#include "platform/mb_string.h"
#include "probes/whois_limits.h"

class CStopSignal;
class CTcpSocket;

struct CWhoisAnswer {
    enum EEnd { kClosed, kReadError, kSilence, kQueryLimit, kCapped, kStopped };
    // Each block is taken up to its first NUL; the bytes after it in that block are lost.
    CString text;
    EEnd end = kClosed;
};

CWhoisAnswer ReadWhoisAnswer(CTcpSocket& socket, const CWhoisLimits& limits,
                             const CDeadline& queryDeadline, const CStopSignal* stop);
