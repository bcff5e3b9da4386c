#include "probes/whois_answer.h"

#include <algorithm>

#include "platform/stop_signal.h"
#include "platform/tcp_socket.h"
#include "probes/whois_text.h"

namespace {

const int kReceiveBufferBytes = 1024;
// Half the buffer, so the NUL stored after the data always fits.
const int kReadBytes = 512;

}  // namespace

CWhoisAnswer ReadWhoisAnswer(CTcpSocket& socket, const CWhoisLimits& limits,
                             const CDeadline& queryDeadline, const CStopSignal* stop) {
    char buffer[kReceiveBufferBytes];
    CWhoisAnswer answer;
    CDeadline silence(limits.silenceMs);
    for (;;) {
        if (IsStopRaised(stop)) {
            answer.end = CWhoisAnswer::kStopped;
            return answer;
        }
        if (queryDeadline.Passed()) {
            answer.end = CWhoisAnswer::kQueryLimit;
            return answer;
        }
        if (silence.Passed()) {
            answer.end = CWhoisAnswer::kSilence;
            return answer;
        }
        const int got = socket.Receive(buffer, kReadBytes,
                                       std::min(silence.Remaining(), queryDeadline.Remaining()));
        if (got == CTcpSocket::kTimedOut) continue;  // the checks above say which limit
        if (got == CTcpSocket::kClosed || got < 0) {
            answer.end =
                got == CTcpSocket::kClosed ? CWhoisAnswer::kClosed : CWhoisAnswer::kReadError;
            return answer;
        }
        silence = CDeadline(limits.silenceMs);
        buffer[got] = '\0';
        answer.text += buffer;
        if (answer.text.GetLength() > limits.answerCapBytes) {
            answer.text = answer.text.Left(CharBoundaryPrefix(answer.text, limits.answerCapBytes));
            answer.end = CWhoisAnswer::kCapped;
            return answer;
        }
    }
}
