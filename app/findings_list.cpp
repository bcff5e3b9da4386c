#include "app/findings_list.h"

#include "app/gbk_text.h"

// A read-only edit control rather than a list box: a finding's sentence wraps onto a
// second line instead of being cut off at the window's edge.
void ShowFindings(HWND list, const CAnalysis& analysis) {
    std::string gbk;
    for (const CFinding& finding : analysis.findings)
        gbk += std::string("[") + SeverityWord(finding.severity) + "] " + finding.text + "\r\n";
    for (const std::string& note : analysis.notes) gbk += "（" + note + "）\r\n";
    SetWindowTextW(list, GbkToWide(CString(gbk)).c_str());
}

void ClearFindings(HWND list) { SetWindowTextW(list, L""); }
