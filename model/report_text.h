// The report's text form: written from records and read back into them, facts
// included. A report saved by any version, in English or Chinese Windows wording, reads
// the same way.
#pragma once

#include <string>
#include <string_view>

#include "model/report_model.h"

// The GBK report bytes: banner, then each step's header, body and separator, then the
// findings block when the report has one as a step record (kDiagnosis).
std::string RenderReportText(const CReport& report);

// bytes may hold LF-only line ends; they are read as CR LF. Facts are read from each
// body; a body the reader does not recognise leaves its facts empty.
CReport ReadReportText(std::string_view bytes);
