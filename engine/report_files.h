// A report's saved forms, the GBK text, the JSON ("tollvane-report/1") and the web page
// (written only), chosen by the file's extension; reading either back into records, converting one
// to the other, and the findings of either. tollvane -o, --convert and --analyze and the window's
// save dialog all come here.
#pragma once

#include <string>

#include "diagnosis/findings.h"
#include "model/report_json.h"
#include "model/report_model.h"
#include "platform/mb_string.h"

enum class EReportFormat { kText, kJson, kHtml };

// ".json" is JSON; ".html" or ".htm" the web page; any other name (".txt", none, ".log")
// the text. *error (GBK) is for a refusal, which no name gets today.
bool ReportFormatOfPath(const std::string& path, EReportFormat* format, CString* error);

// The platform's GBK <-> UTF-8 conversion, for the JSON form.
const CTextCodec& ReportTextCodec();

// A saved report's bytes, text or JSON (a JSON document starts with '{'), as records.
// False, with *error (GBK), for JSON that is no report of the schema; text that is no
// report reads as a record list with isReport false.
bool ReadReportBytes(const std::string& bytes, CReport* report, CString* error);

// The report in a form. The JSON and the web page carry the report's findings, computed
// from its records when it has none yet.
std::string ReportBytes(const CReport& report, EReportFormat format);

// Writes the report to path in the form its extension asks for.
bool SaveReportAs(const std::string& path, const CReport& report, CString* error);

// Reads the report at in (text or JSON) and writes it to out in out's form.
bool ConvertReportFile(const std::string& in, const std::string& out, CString* error);

// The findings of a saved report's bytes, text or JSON; a JSON report is judged by its
// records, as its text form would be.
CAnalysis AnalyzeReportBytes(const std::string& bytes);

// Reads a whole file of at most the size of any report; false with why (GBK).
bool ReadReportFile(const std::string& path, std::string* bytes, CString* error);
