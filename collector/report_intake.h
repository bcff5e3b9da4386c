// Everything the collector understands of an uploaded report, in one place: the upload's
// bytes and media type in, what the desk stores and searches by out. Text in the result
// is UTF-8, ready for a web page or a JSON answer; the original bytes are kept untouched.
#pragma once

#include <string>
#include <vector>

struct CIntakeFinding {
    std::string id;
    int severity = 2;  // 0 critical, 1 warning, 2 info
    int step = 0;
    std::string text;  // UTF-8
};

struct CIntakePathRow {
    int ttl = 0;
    std::string address;
    double lossPercent = -1;
    double averageMs = -1;
    std::string label;  // UTF-8
};

struct CReportIntake {
    bool ok = false;
    int status = 400;     // the HTTP status of a refusal: 400 or 415
    std::string error;    // why it was refused, UTF-8
    std::string domain;
    std::string publicAddress;
    std::string regionLabel;  // UTF-8, "中国 广东省 广州市 电信"
    std::string province;     // from the label; the label itself when it names no province
    std::string carrier;
    std::vector<CIntakeFinding> findings;  // most severe first
    std::string lossHopAddress;            // where persistent path loss starts, or ""
    std::string lossHopLabel;              // UTF-8
    std::vector<CIntakePathRow> pathRows;
    bool json = false;     // the upload was the JSON report
    std::string original;  // the bytes as uploaded
};

// contentType is the Content-Type header as sent ("text/plain; charset=GBK"): text/plain
// (or none) is the text report, application/json the JSON report.
CReportIntake ReadUploadedReport(const std::string& bytes, const std::string& contentType);

// The report's text, as UTF-8, from the bytes as uploaded; a JSON report is written out
// as the text report it holds.
std::string ReportTextUtf8(const std::string& original, bool json);

// The report model as its JSON form (tollvane-report/1), findings included; "" when the
// bytes no longer read.
std::string ReportModelJson(const std::string& original, bool json);

// The chart of the report's path statistics as one inline SVG element (UTF-8, every text
// escaped); "" when the report has none or the bytes no longer read.
std::string ReportChartSvg(const std::string& original, bool json);

// "中国 广东省 广州市 电信" -> province "广东省", carrier "电信"; a label naming no province
// ("局域网", "未知", "美国") is its own province and names no carrier.
void SplitRegionLabel(const std::string& label, std::string* province, std::string* carrier);

// GBK bytes as UTF-8; a byte sequence that is not GBK becomes U+FFFD. Never fails.
std::string GbkToUtf8Lossy(const std::string& gbk);
