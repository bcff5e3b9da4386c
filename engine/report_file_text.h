// Saving the report to the file the user named, and the words that say why a save
// failed. The save-as button and tollvane -o both come here.
#pragma once

#include <string>

#include "platform/atomic_file.h"
#include "platform/mb_string.h"

// "写入文件失败：磁盘空间不足（错误代码 28）", "目标是目录，不是普通文件，未写入", ...
CString DescribeSaveFailure(const CSaveFailure& failure);

// Writes the report's bytes to path (see atomic_file.h); false with the reason, in
// GBK words, in *error.
bool SaveReportFile(const std::string& path, const CString& bytes, CString* error);
