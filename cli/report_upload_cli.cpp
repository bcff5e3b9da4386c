#include "cli/report_upload_cli.h"

#include <cerrno>
#include <cstring>

#include "engine/report_files.h"
#include "net/report_upload.h"
#include "platform/text_encoding.h"
#include "privacy/redaction.h"

namespace {

// What the collector takes at most; a larger file is refused here without sending it.
constexpr size_t kMaxUploadBytes = 2u << 20;

bool ReadReport(const std::string& path, std::string* bytes, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    bytes->clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && bytes->size() <= kMaxUploadBytes)
        bytes->append(chunk, got);
    const bool failed = std::ferror(file) != 0;
    if (failed) *error = std::strerror(errno);
    std::fclose(file);
    if (!failed && bytes->size() > kMaxUploadBytes) *error = "larger than 2 MiB, more than a collector takes";
    return error->empty();
}

// A JSON report opens with '{'; the text report with its banner.
bool LooksLikeJson(const std::string& bytes) {
    const size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && bytes[first] == '{';
}

std::string Shown(const std::string& gbk) {
    CGbkDecoder decoder;
    std::string text = decoder.Convert(gbk) + decoder.Flush();
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return text;
}

void PrintGbkLine(std::FILE* stream, const std::string& gbk) {
    CGbkDecoder decoder;
    std::fprintf(stream, "%s\n", (decoder.Convert(gbk) + decoder.Flush()).c_str());
}

// The report as it is to be sent: redacted unless told otherwise, text staying text and
// JSON staying JSON. What was hidden is told on err; false, with *error (GBK), when the
// report cannot be redacted whole, and then nothing of it is sent.
bool PrepareUpload(const std::string& bytes, bool redact, std::string* body, bool* json,
                   std::string* error, std::FILE* err) {
    *json = LooksLikeJson(bytes);
    if (!redact) {
        *body = bytes;
        return true;
    }
    CReport report;
    CString readError;
    if (*json && !ReadReportBytes(bytes, &report, &readError)) {
        *error = readError.GetString();
        return false;
    }
    CRedactedReport redacted;
    if (!(*json ? RedactReport(report, &redacted, error) : RedactReportText(bytes, &redacted, error)))
        return false;
    *body = *json ? ReportBytes(redacted.report, EReportFormat::kJson) : redacted.text;
    PrintGbkLine(err, RedactionCountsLine(redacted.counts));
    return true;
}

CReportUpload Send(const std::string& url, const std::string& bytes, bool redact, std::FILE* err) {
    CReportUpload upload;
    std::string body;
    bool json = false;
    if (PrepareUpload(bytes, redact, &body, &json, &upload.error, err))
        upload = UploadReport(url, body, json, NewUploadKey(), nullptr);
    return upload;
}

}  // namespace

int UploadReportFiles(const std::string& url, const std::vector<std::string>& files, bool redact,
                      std::FILE* out, std::FILE* err) {
    int status = 0;
    std::string bytes;
    for (const std::string& file : files) {
        std::string error;
        CReportUpload upload;
        if (ReadReport(file, &bytes, &error))
            upload = Send(url, bytes, redact, err);
        else
            upload.error = error;
        if (upload.ok) {
            std::fprintf(out, "%s: %s\n", file.c_str(), upload.ticket.c_str());
        } else {
            std::fprintf(err, "tollvane: %s: not uploaded: %s\n", file.c_str(), Shown(upload.error).c_str());
            status = 2;
        }
        std::fflush(out);
    }
    return status;
}

int UploadRunReport(const std::string& url, const std::string& report, bool redact,
                    std::FILE* out, std::FILE* err) {
    const CReportUpload upload = Send(url, report, redact, err);
    if (!upload.ok) {
        std::fprintf(err, "tollvane: the report was not uploaded: %s\n", Shown(upload.error).c_str());
        return 2;
    }
    std::fprintf(out, "report uploaded, ticket: %s\n", upload.ticket.c_str());
    return 0;
}
