// The JSON form of a report ("tollvane-report/1", docs/report.schema.json). Text in it
// is UTF-8; the caller hands the GBK <-> UTF-8 conversion in, so this layer stays free
// of the system.
#pragma once

#include <string>
#include <string_view>

#include "model/report_model.h"

extern const char kReportSchemaId[];  // "tollvane-report/1"

struct CTextCodec {
    // False when the text cannot be converted.
    bool (*gbkToUtf8)(std::string_view gbk, std::string* utf8);
    bool (*utf8ToGbk)(std::string_view utf8, std::string* gbk);
};

std::string WriteReportJson(const CReport& report, const CTextCodec& codec);
// False, with *error saying why (GBK), when json is not a report of this schema.
bool ReadReportJson(std::string_view json, const CTextCodec& codec, CReport* report,
                    std::string* error);
