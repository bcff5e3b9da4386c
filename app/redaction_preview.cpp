#include "app/redaction_preview.h"

#include "app/dialog_base.h"
#include "app/gbk_text.h"
#include "resource.h"

namespace {

class CRedactionPreviewDlg : public CDialogBase {
public:
    CRedactionPreviewDlg(const std::string& redactedGbk, const std::string& countsLine)
        : CDialogBase(IDD_REDACTION_PREVIEW), m_text(redactedGbk), m_counts(countsLine) {}

protected:
    BOOL OnInitDialog() override {
        SetWindowTextW(GetDlgItem(IDC_EDIT_PREVIEW), GbkToWide(CString(m_text)).c_str());
        // Support needs the public address and the site's own addresses, so they stay;
        // the user is told so beside the counts.
        const std::string note =
            m_counts + "。公网IP、被检测网站及其地址、公网上的路由节点未隐藏。";
        SetWindowTextW(GetDlgItem(IDC_STATIC_PREVIEW_COUNTS), GbkToWide(CString(note)).c_str());
        SetFocus(GetDlgItem(IDOK));
        return FALSE;
    }
    bool OnCommand(int id, int code, HWND control) override {
        if (id == IDOK || id == IDCANCEL) {
            EndDialog(id);
            return true;
        }
        return CDialogBase::OnCommand(id, code, control);
    }

private:
    std::string m_text;
    std::string m_counts;
};

}  // namespace

bool ShowRedactionPreview(HWND owner, const std::string& redactedGbk,
                          const std::string& countsLine) {
    CRedactionPreviewDlg dialog(redactedGbk, countsLine);
    return dialog.DoModal(owner) == IDOK;
}
