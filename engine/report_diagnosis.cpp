#include "engine/report_diagnosis.h"

#include "diagnosis/findings.h"

void CReportCopy::AppendOutput(const CString& text) {
    m_bytes += text.Bytes();
    m_inner->AppendOutput(text);
}

void AppendDiagnosisBlock(ICheckFrontEnd* frontEnd, const std::string& report, int step,
                          const CString& time) {
    frontEnd->AppendOutput(CString(DiagnosisBlock(AnalyzeReport(report), step, time.Bytes())));
}
