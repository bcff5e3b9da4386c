// A verdict of the report's vocabulary as the line a step prints: its sentence, with its
// value filled in, and CR LF.
#pragma once

#include <string>

#include "model/report_vocabulary.h"
#include "platform/mb_string.h"

inline CString VerdictLine(const char* id, const std::string& value = std::string()) {
    return CString(VerdictText(id, value) + "\r\n");
}
