#include "render/report_html.h"

#include "diagnosis/findings.h"
#include "render/markup_text.h"
#include "render/path_chart.h"

namespace {

// The page may load nothing at all: the policy allows only its own inline style, so a
// browser that opens it makes no request, and no text in it could make one.
const char kHead[] =
    "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
    "'unsafe-inline'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";

const char kStyle[] =
    "<style>\n"
    "@page { size: A4; margin: 15mm; }\n"
    "body { font-family: sans-serif; color: #202020; margin: 16px auto; max-width: 180mm; }\n"
    "h1 { font-size: 18px; } h2 { font-size: 15px; border-bottom: 1px solid #ccc; }\n"
    "ul.findings { padding-left: 0; list-style: none; }\n"
    "ul.findings li { margin: 4px 0; padding: 4px 8px; border-left: 5px solid #6b6b6b; }\n"
    "li.critical { border-color: #d62020 !important; background: #fde7e7; }\n"
    "li.warning { border-color: #e8a100 !important; background: #fff5dc; }\n"
    "li.info { border-color: #7ba7d9 !important; }\n"
    ".chart svg { max-width: 100%; height: auto; }\n"
    ".chart { break-inside: avoid; }\n"
    "pre { font-family: monospace; font-size: 8.5pt; white-space: pre-wrap; overflow-wrap: "
    "anywhere; }\n"
    "@media print { body { margin: 0; max-width: none; } }\n"
    "</style>\n</head>\n<body>\n";

std::string Findings(const CReport& report, const CTextCodec& codec) {
    std::string html =
        "<section>\n<h2>" + MarkupText("诊断结论", codec) + "</h2>\n<ul class=\"findings\">\n";
    for (const CFinding& finding : report.findings) {
        const std::string line =
            std::string("[") + SeverityWord(finding.severity) + "] " + finding.text;
        html += "<li class=\"" + std::string(SeverityName(finding.severity)) + "\">" +
                MarkupText(line, codec) + "</li>\n";
    }
    for (const std::string& note : report.notes)
        html += "<li>" + MarkupText("（" + note + "）", codec) + "</li>\n";
    return html + "</ul>\n</section>\n";
}

}  // namespace

std::string RenderReportHtml(const CReport& report, std::string_view reportText,
                             const CTextCodec& codec) {
    const std::string title = "Tollvane 检测报告：" + ReportDomain(report);
    std::string html = kHead;
    html += "<title>" + MarkupText(title, codec) + "</title>\n";
    html += kStyle;
    html += "<h1>" + MarkupText(title, codec) + "</h1>\n";
    html += Findings(report, codec);
    const std::string svg = PathChartSvg(report, codec);
    if (!svg.empty()) html += "<section class=\"chart\">\n" + svg + "</section>\n";
    html += "<section>\n<h2>" + MarkupText("检测报告全文", codec) +
            "</h2>\n<pre class=\"report\">" + MarkupText(reportText, codec) +
            "</pre>\n</section>\n</body>\n</html>\n";
    return html;
}
