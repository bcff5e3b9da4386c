#include "net/http_wire.h"

#include <cstdint>

namespace {

// Each record: its kind (one byte), its payload's length (four bytes, least significant
// first), the payload. Numbers inside are eight bytes, least significant first; texts
// are a four-byte length and the bytes.
const size_t kRecordHead = 5;

void PutNumber(std::string* out, long long value, int bytes) {
    auto bits = static_cast<unsigned long long>(value);
    for (int i = 0; i < bytes; ++i) {
        out->push_back(static_cast<char>(bits & 0xFF));
        bits >>= 8;
    }
}

void PutText(std::string* out, const std::string& text) {
    PutNumber(out, static_cast<long long>(text.size()), 4);
    out->append(text);
}

void PutOutcome(std::string* out, const CHttpOutcome& outcome) {
    PutNumber(out, static_cast<long long>(outcome.failure), 1);
    PutNumber(out, outcome.code, 8);
    PutText(out, outcome.url.Bytes());
    const CHttpProgress& progress = outcome.progress;
    PutText(out, progress.peer.Bytes());
    PutNumber(out, progress.connected ? 1 : 0, 1);
    PutNumber(out, progress.answerBytes, 8);
    PutNumber(out, progress.waitedSeconds, 8);
}

std::string Record(EWireRecord kind, const std::string& payload) {
    std::string out;
    out.reserve(kRecordHead + payload.size());
    out.push_back(static_cast<char>(kind));
    PutNumber(&out, static_cast<long long>(payload.size()), 4);
    out.append(payload);
    return out;
}

// Reads a payload front to back; any read past its end fails it for good.
class CPayload {
public:
    CPayload(const char* data, size_t size) : m_data(data), m_size(size) {}

    bool Ok() const { return m_ok; }
    bool AtEnd() const { return m_pos == m_size; }

    unsigned long long Unsigned(int bytes) {
        if (!Have(static_cast<size_t>(bytes))) return 0;
        unsigned long long value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | static_cast<unsigned char>(m_data[m_pos + static_cast<size_t>(i)]);
        m_pos += static_cast<size_t>(bytes);
        return value;
    }
    long long Signed() { return static_cast<long long>(Unsigned(8)); }
    bool Flag() {
        const unsigned long long value = Unsigned(1);
        if (value > 1) m_ok = false;
        return value == 1;
    }
    std::string Text() {
        const auto length = static_cast<size_t>(Unsigned(4));
        if (!Have(length)) return std::string();
        std::string text(m_data + m_pos, length);
        m_pos += length;
        return text;
    }
    CHttpOutcome Outcome() {
        CHttpOutcome outcome;
        const unsigned long long failure = Unsigned(1);
        if (failure > static_cast<unsigned long long>(EHttpFailure::kOther)) m_ok = false;
        outcome.failure = static_cast<EHttpFailure>(failure);
        outcome.code = static_cast<long>(Signed());
        outcome.url = CString(Text());
        CHttpProgress& progress = outcome.progress;
        progress.peer = CString(Text());
        progress.connected = Flag();
        progress.answerBytes = Signed();
        progress.waitedSeconds = static_cast<int>(Signed());
        return outcome;
    }

private:
    bool Have(size_t count) {
        if (!m_ok || m_size - m_pos < count) m_ok = false;
        return m_ok;
    }

    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

bool DecodeAnswer(CPayload& in, CWireAnswer* answer) {
    answer->outcome = in.Outcome();
    answer->status = static_cast<int>(in.Signed());
    answer->headers = CString(in.Text());
    CServerCertificate& certificate = answer->certificate;
    certificate.present = in.Flag();
    certificate.subject = CString(in.Text());
    certificate.issuer = CString(in.Text());
    const unsigned long long names = in.Unsigned(4);
    // Each name takes at least its length's four bytes, so the count cannot outrun the
    // payload before the loop notices.
    for (unsigned long long i = 0; i < names && in.Ok(); ++i) certificate.dnsNames.emplace_back(in.Text());
    certificate.notBefore = in.Signed();
    certificate.notAfter = in.Signed();
    certificate.trusted = in.Flag();
    certificate.nameMatches = in.Flag();
    answer->peer = CString(in.Text());
    CPhaseMoments& at = answer->moments;
    for (double* moment : {&at.resolved, &at.connected, &at.secured, &at.firstByte, &at.done})
        *moment = static_cast<double>(in.Signed()) / 1000.0;
    return in.Ok();
}

bool DecodePost(CPayload& in, CHttpPost* post) {
    const unsigned long long count = in.Unsigned(4);
    for (unsigned long long i = 0; i < count && in.Ok(); ++i) post->headers.push_back(in.Text());
    post->body = in.Text();
    return in.Ok();
}

}  // namespace

std::string EncodeWireAnswer(const CWireAnswer& answer) {
    std::string payload;
    PutOutcome(&payload, answer.outcome);
    PutNumber(&payload, answer.status, 8);
    PutText(&payload, answer.headers.Bytes());
    const CServerCertificate& certificate = answer.certificate;
    PutNumber(&payload, certificate.present, 1);
    PutText(&payload, certificate.subject.Bytes());
    PutText(&payload, certificate.issuer.Bytes());
    PutNumber(&payload, static_cast<long long>(certificate.dnsNames.size()), 4);
    for (const CString& name : certificate.dnsNames) PutText(&payload, name.Bytes());
    PutNumber(&payload, certificate.notBefore, 8);
    PutNumber(&payload, certificate.notAfter, 8);
    PutNumber(&payload, certificate.trusted, 1);
    PutNumber(&payload, certificate.nameMatches, 1);
    PutText(&payload, answer.peer.Bytes());
    // Microseconds, so a number crosses without a floating-point format; -1 ms stays -1 ms.
    const CPhaseMoments& at = answer.moments;
    for (const double moment : {at.resolved, at.connected, at.secured, at.firstByte, at.done})
        PutNumber(&payload, static_cast<long long>(moment * 1000.0), 8);
    return Record(EWireRecord::kAnswer, payload);
}

std::string EncodeWireBody(const char* bytes, size_t count) {
    return Record(EWireRecord::kBody, std::string(bytes, count));
}

std::string EncodeWireEnd(const CHttpOutcome& outcome) {
    std::string payload;
    PutOutcome(&payload, outcome);
    return Record(EWireRecord::kEnd, payload);
}

std::string EncodeWirePost(const CHttpPost& post) {
    std::string payload;
    PutNumber(&payload, static_cast<long long>(post.headers.size()), 4);
    for (const std::string& header : post.headers) PutText(&payload, header);
    PutText(&payload, post.body);
    return Record(EWireRecord::kPost, payload);
}

bool CWireReader::Feed(const char* bytes, size_t count) {
    if (count > m_left) {
        m_left = 0;
        return false;
    }
    m_left -= count;
    // What was handed back already goes before the buffer grows again.
    if (m_used > 0 && m_used * 2 >= m_buffer.size()) {
        m_buffer.erase(0, m_used);
        m_used = 0;
    }
    m_buffer.append(bytes, count);
    return true;
}

EWireRead CWireReader::Next(CWireRecord* record) {
    if (m_malformed) return EWireRead::kMalformed;
    const size_t available = m_buffer.size() - m_used;
    if (available < kRecordHead) return EWireRead::kIncomplete;
    const char* head = m_buffer.data() + m_used;
    CPayload lengthField(head + 1, 4);
    const auto length = static_cast<size_t>(lengthField.Unsigned(4));
    const size_t have = available - kRecordHead;
    // A length the rest of the stream could never bring is refused now, not waited for.
    if (length > have && length - have > m_left) {
        m_malformed = true;
        return EWireRead::kMalformed;
    }
    if (length > have) return EWireRead::kIncomplete;

    CPayload payload(head + kRecordHead, length);
    CWireRecord decoded;
    bool ok = false;
    switch (static_cast<EWireRecord>(static_cast<unsigned char>(head[0]))) {
        case EWireRecord::kAnswer:
            decoded.kind = EWireRecord::kAnswer;
            ok = DecodeAnswer(payload, &decoded.answer);
            break;
        case EWireRecord::kBody:
            decoded.kind = EWireRecord::kBody;
            decoded.body.assign(head + kRecordHead, length);
            ok = true;
            payload = CPayload(nullptr, 0);
            break;
        case EWireRecord::kEnd:
            decoded.kind = EWireRecord::kEnd;
            decoded.outcome = payload.Outcome();
            ok = payload.Ok();
            break;
        case EWireRecord::kPost:
            decoded.kind = EWireRecord::kPost;
            ok = DecodePost(payload, &decoded.post);
            break;
    }
    if (!ok || !payload.AtEnd()) {
        m_malformed = true;
        return EWireRead::kMalformed;
    }
    m_used += kRecordHead + length;
    *record = std::move(decoded);
    return EWireRead::kRecord;
}
