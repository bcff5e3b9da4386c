// The web page form of a report: one self-contained UTF-8 file, with no script and
// nothing fetched from anywhere, that opens in any browser and prints on A4. The
// findings come first, then the picture of the path, then the whole report text.
#pragma once

#include <string>
#include <string_view>

#include "model/report_json.h"
#include "model/report_model.h"

// reportText is the report's GBK bytes as saved in text form; report holds its records
// and findings. The codec turns GBK into UTF-8 (the caller has the system).
std::string RenderReportHtml(const CReport& report, std::string_view reportText,
                             const CTextCodec& codec);
