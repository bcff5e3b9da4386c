// Report text made safe for a web page or an SVG drawing: GBK bytes to UTF-8, with the
// markup characters escaped and the control characters a page must not carry dropped.
#pragma once

#include <string>
#include <string_view>

#include "model/report_json.h"

// Line ends become LF; tabs stay. A byte that is not part of a GBK character becomes
// U+FFFD, so a damaged report still shows everything around it.
std::string MarkupText(std::string_view gbk, const CTextCodec& codec);
