#include "cli/report_upload_cli.h"

#include <cerrno>
#include <cstring>

#include "net/report_upload.h"
#include "platform/text_encoding.h"

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

}  // namespace

int UploadReportFiles(const std::string& url, const std::vector<std::string>& files,
                      std::FILE* out, std::FILE* err) {
    int status = 0;
    std::string bytes;
    for (const std::string& file : files) {
        std::string error;
        CReportUpload upload;
        if (ReadReport(file, &bytes, &error))
            upload = UploadReport(url, bytes, LooksLikeJson(bytes), NewUploadKey(), nullptr);
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

int UploadRunReport(const std::string& url, const std::string& report, std::FILE* out,
                    std::FILE* err) {
    const CReportUpload upload = UploadReport(url, report, false, NewUploadKey(), nullptr);
    if (!upload.ok) {
        std::fprintf(err, "tollvane: the report was not uploaded: %s\n", Shown(upload.error).c_str());
        return 2;
    }
    std::fprintf(out, "report uploaded, ticket: %s\n", upload.ticket.c_str());
    return 0;
}
