// What a process running one HTTP exchange for another sends back: a stream of
// length-prefixed records (the answer, pieces of the body, the end of the body). The
// format is the same on every system and every word size, and the reader trusts none of
// it: a record that is cut short waits for more bytes, one that claims more than the
// stream may still hold or does not parse is refused, and nothing is read past what
// came.
#pragma once

#include <cstddef>
#include <string>

#include "net/http_client.h"

enum class EWireRecord : unsigned char {
    kAnswer = 1,  // the response (or why none came), with the certificate of a TLS exchange
    kBody = 2,    // the next bytes of a page's body
    kEnd = 3,     // a page's body has ended: cleanly, or for the outcome's reason
    kPost = 4,    // the other way, on the exchange's standard input: a POST's headers and body
};

struct CWireAnswer {
    CHttpOutcome outcome;
    int status = 0;
    // The header block of a root exchange; a page's status line.
    CString headers;
    CServerCertificate certificate;
    // A timed exchange's: the address connected to and when each phase ended.
    CString peer;
    CPhaseMoments moments;
};

struct CWireRecord {
    EWireRecord kind = EWireRecord::kAnswer;
    CWireAnswer answer;    // kAnswer
    std::string body;      // kBody
    CHttpOutcome outcome;  // kEnd
    CHttpPost post;        // kPost: its headers and body (the address goes on the command line)
};

std::string EncodeWireAnswer(const CWireAnswer& answer);
std::string EncodeWireBody(const char* bytes, size_t count);
std::string EncodeWireEnd(const CHttpOutcome& outcome);
std::string EncodeWirePost(const CHttpPost& post);

enum class EWireRead { kRecord, kIncomplete, kMalformed };

// Takes the stream's bytes as they arrive, holding no more than capBytes of it in all,
// and hands back its records one by one.
class CWireReader {
public:
    explicit CWireReader(size_t capBytes) : m_left(capBytes) {}

    // False when these bytes take the stream past its cap; they are then not kept.
    bool Feed(const char* bytes, size_t count);
    // The next whole record. Once malformed, the stream stays so.
    EWireRead Next(CWireRecord* record);

private:
    std::string m_buffer;
    size_t m_used = 0;   // bytes of m_buffer already handed back as records
    size_t m_left;       // what the stream may still bring
    bool m_malformed = false;
};
