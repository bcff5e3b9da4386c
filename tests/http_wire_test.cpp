// The records an HTTP exchange's own process sends back: they come through whole, in
// any cuts, and a stream that is cut short, malformed or too long is refused without
// reading past what came.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/http_wire.h"
#include "tests/test_support.h"

namespace {

CWireAnswer FullAnswer() {
    CWireAnswer answer;
    answer.outcome.failure = EHttpFailure::kConnectionLost;
    answer.outcome.code = -12029;
    answer.outcome.url = "https://例子.测试:8443/a b?\"q\"\\";
    answer.outcome.progress.peer = "2001:db8::7";
    answer.outcome.progress.connected = true;
    answer.outcome.progress.answerBytes = 19;
    answer.outcome.progress.waitedSeconds = 20;
    answer.status = 404;
    static const char kHeaders[] = "HTTP/1.1 404 Not Found\r\nX-Nul: a\0b\r\n\r\n";
    answer.headers = CString(std::string(kHeaders, sizeof kHeaders - 1));
    CServerCertificate& certificate = answer.certificate;
    certificate.present = true;
    certificate.subject = "CN=例子.测试, O=Org";
    certificate.issuer = "CN=Test CA";
    certificate.dnsNames = {"例子.测试", "*.example.com", ""};
    certificate.notBefore = -86400;
    certificate.notAfter = 4102444800LL;
    certificate.trusted = false;
    certificate.nameMatches = true;
    return answer;
}

void ExpectSameAnswer(const CWireAnswer& want, const CWireAnswer& got) {
    EXPECT_EQ(want.outcome.failure, got.outcome.failure);
    EXPECT_EQ(want.outcome.code, got.outcome.code);
    EXPECT_EQ(want.outcome.url, got.outcome.url);
    EXPECT_EQ(want.outcome.progress.peer, got.outcome.progress.peer);
    EXPECT_EQ(want.outcome.progress.connected, got.outcome.progress.connected);
    EXPECT_EQ(want.outcome.progress.answerBytes, got.outcome.progress.answerBytes);
    EXPECT_EQ(want.outcome.progress.waitedSeconds, got.outcome.progress.waitedSeconds);
    EXPECT_EQ(want.status, got.status);
    EXPECT_EQ(want.headers, got.headers);
    EXPECT_EQ(want.certificate.present, got.certificate.present);
    EXPECT_EQ(want.certificate.subject, got.certificate.subject);
    EXPECT_EQ(want.certificate.issuer, got.certificate.issuer);
    EXPECT_EQ(want.certificate.dnsNames, got.certificate.dnsNames);
    EXPECT_EQ(want.certificate.notBefore, got.certificate.notBefore);
    EXPECT_EQ(want.certificate.notAfter, got.certificate.notAfter);
    EXPECT_EQ(want.certificate.trusted, got.certificate.trusted);
    EXPECT_EQ(want.certificate.nameMatches, got.certificate.nameMatches);
}

std::string PageStream() {
    CWireAnswer opened;
    opened.status = 200;
    opened.headers = "HTTP/1.1 200 OK";
    opened.outcome.url = "http://127.0.0.1:8080/ic.asp";
    CHttpOutcome lost;
    lost.failure = EHttpFailure::kTimedOut;
    lost.url = opened.outcome.url;
    return EncodeWireAnswer(opened) + EncodeWireBody("line 1\nli", 9) +
           EncodeWireBody(std::string("ne\0 2\n", 6).data(), 6) + EncodeWireEnd(lost);
}

// Every record of the stream, or how reading it ended.
EWireRead ReadAll(CWireReader& reader, std::vector<CWireRecord>* records) {
    for (;;) {
        CWireRecord record;
        const EWireRead read = reader.Next(&record);
        if (read != EWireRead::kRecord) return read;
        records->push_back(record);
    }
}

void ExpectPageRecords(const std::vector<CWireRecord>& records) {
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ(EWireRecord::kAnswer, records[0].kind);
    EXPECT_EQ(200, records[0].answer.status);
    EXPECT_EQ(CString("HTTP/1.1 200 OK"), records[0].answer.headers);
    EXPECT_FALSE(records[0].answer.certificate.present);
    EXPECT_EQ(EWireRecord::kBody, records[1].kind);
    EXPECT_EQ("line 1\nli", records[1].body);
    EXPECT_EQ(EWireRecord::kBody, records[2].kind);
    EXPECT_EQ(std::string("ne\0 2\n", 6), records[2].body);
    EXPECT_EQ(EWireRecord::kEnd, records[3].kind);
    EXPECT_EQ(EHttpFailure::kTimedOut, records[3].outcome.failure);
    EXPECT_EQ(CString("http://127.0.0.1:8080/ic.asp"), records[3].outcome.url);
}

// A stream holding the record, then its length field rewritten.
std::string WithLength(std::string record, unsigned long length) {
    for (int i = 0; i < 4; ++i) record[1 + static_cast<size_t>(i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return record;
}

CHttpPost SomePost() {
    CHttpPost post;
    post.url = "http://127.0.0.1:8080/api/v1/reports";
    post.headers = {"Content-Type: text/plain; charset=GBK", "Idempotency-Key: tv-1"};
    post.body = std::string("\xB5\xDA" "1\xB2\xBD\0\r\n", 7);
    return post;
}

EWireRead ReadOne(const std::string& bytes, CWireRecord* record, size_t cap = 1 << 20) {
    CWireReader reader(cap);
    if (!reader.Feed(bytes.data(), bytes.size())) return EWireRead::kMalformed;
    return reader.Next(record);
}

}  // namespace

TEST(HttpWire, RecordsComeBackAsSentWhateverTheCuts) {
    CWireRecord record;
    ASSERT_EQ(EWireRead::kRecord, ReadOne(EncodeWireAnswer(FullAnswer()), &record));
    EXPECT_EQ(EWireRecord::kAnswer, record.kind);
    ExpectSameAnswer(FullAnswer(), record.answer);

    const std::string stream = PageStream();
    {
        SCOPED_TRACE("all at once");
        CWireReader reader(stream.size());
        ASSERT_TRUE(reader.Feed(stream.data(), stream.size()));
        std::vector<CWireRecord> records;
        EXPECT_EQ(EWireRead::kIncomplete, ReadAll(reader, &records));
        ExpectPageRecords(records);
    }
    for (const size_t cut : {size_t{1}, size_t{3}, size_t{7}}) {
        SCOPED_TRACE(cut);
        CWireReader reader(stream.size());
        std::vector<CWireRecord> records;
        for (size_t at = 0; at < stream.size(); at += cut) {
            const size_t count = std::min(cut, stream.size() - at);
            ASSERT_TRUE(reader.Feed(stream.data() + at, count));
            ASSERT_EQ(EWireRead::kIncomplete, ReadAll(reader, &records));
        }
        ExpectPageRecords(records);
    }
}

// A POST's headers and body, binary bytes included, cross as they were; the address
// goes apart, on the command line.
TEST(HttpWire, APostComesBackAsSent) {
    CWireRecord record;
    ASSERT_EQ(EWireRead::kRecord, ReadOne(EncodeWirePost(SomePost()), &record));
    EXPECT_EQ(EWireRecord::kPost, record.kind);
    EXPECT_EQ(SomePost().headers, record.post.headers);
    EXPECT_EQ(SomePost().body, record.post.body);
    EXPECT_TRUE(record.post.url.IsEmpty());
}

// Any record cut short is waited on, never taken, whatever length it lost.
TEST(HttpWire, ARecordCutShortIsNeverTaken) {
    for (const std::string& whole : {EncodeWireAnswer(FullAnswer()), EncodeWireBody("abc", 3),
                                     EncodeWireEnd(CHttpOutcome()), EncodeWirePost(SomePost())}) {
        for (size_t size = 0; size < whole.size(); ++size) {
            SCOPED_TRACE(size);
            CWireRecord record;
            EXPECT_EQ(EWireRead::kIncomplete, ReadOne(whole.substr(0, size), &record));
        }
    }
}

TEST(HttpWire, AMalformedRecordIsRefusedAndStaysRefused) {
    const std::string answer = EncodeWireAnswer(FullAnswer());
    const std::string end = EncodeWireEnd(CHttpOutcome());
    // Offsets into an end record's payload (after the 5-byte record head): the failure
    // byte, then the code, then the url's length.
    std::string unknownKind = end;
    unknownKind[0] = 9;
    std::string failureOutOfRange = end;
    failureOutOfRange[5] = static_cast<char>(static_cast<int>(EHttpFailure::kOther) + 1);
    std::string urlPastPayload = end;
    urlPastPayload[5 + 1 + 8] = 1;
    // The answer with one byte more inside its payload than its fields use.
    std::string trailing = WithLength(answer + "x", static_cast<unsigned long>(answer.size() - 5 + 1));
    // The answer ends with a timed exchange's peer (empty here) and its five moments; the
    // byte before them is the name-match flag, which is 0 or 1 and nothing else.
    const size_t timedTail = 4 + 5 * 8;
    std::string badFlag = answer;
    badFlag[answer.size() - timedTail - 1] = 2;
    // A count of certificate names far beyond what the payload holds.
    CWireAnswer nameless = FullAnswer();
    nameless.certificate.dnsNames.clear();
    std::string manyNames = EncodeWireAnswer(nameless);
    const size_t countAt = manyNames.size() - (4 + 8 + 8 + 1 + 1) - timedTail;
    manyNames[countAt + 3] = 0x7F;
    // A zero-length answer: no fields at all.
    const std::string empty = std::string(1, static_cast<char>(EWireRecord::kAnswer)) + std::string(4, '\0');

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {{"unknown kind", unknownKind},    {"failure out of range", failureOutOfRange},
                 {"text past payload", urlPastPayload}, {"trailing bytes", trailing},
                 {"flag not 0 or 1", badFlag},     {"name count", manyNames},
                 {"empty answer", empty}};
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CWireReader reader(1 << 20);
        const std::string stream = row.bytes + end;
        ASSERT_TRUE(reader.Feed(stream.data(), stream.size()));
        CWireRecord record;
        EXPECT_EQ(EWireRead::kMalformed, reader.Next(&record));
        // A good record after it is not read either: the stream is out of step.
        EXPECT_EQ(EWireRead::kMalformed, reader.Next(&record));
    }
}

// The stream holds no more than its cap: bytes past it are refused, and a record that
// claims more than the stream may still bring is refused before its bytes come.
TEST(HttpWire, NothingPastTheCapIsKeptOrWaitedFor) {
    const std::string body = EncodeWireBody(std::string(100, 'b').data(), 100);
    {
        CWireReader reader(body.size());
        EXPECT_TRUE(reader.Feed(body.data(), body.size()));
        EXPECT_FALSE(reader.Feed("x", 1));
        CWireRecord record;
        EXPECT_EQ(EWireRead::kRecord, reader.Next(&record));
        EXPECT_EQ(std::string(100, 'b'), record.body);
    }
    {
        CWireReader reader(body.size() - 1);
        EXPECT_FALSE(reader.Feed(body.data(), body.size()));
    }
    {
        // Only the head of a record that claims 4 GiB less one byte.
        const std::string head = WithLength(body, 0xFFFFFFFFul).substr(0, 5);
        CWireRecord record;
        EXPECT_EQ(EWireRead::kMalformed, ReadOne(head, &record, 1 << 20));
        // One whose length just fits what the cap leaves is waited for instead.
        EXPECT_EQ(EWireRead::kIncomplete, ReadOne(body.substr(0, 5), &record, body.size()));
        EXPECT_EQ(EWireRead::kMalformed, ReadOne(body.substr(0, 5), &record, body.size() - 1));
    }
}
