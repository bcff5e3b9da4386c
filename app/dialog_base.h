// A small modal dialog layer: the dialog template comes from the resources, and the
// messages reach the members of one C++ object per dialog window.
#pragma once

#include <windows.h>

class CDialogBase {
public:
    explicit CDialogBase(int templateId) : m_templateId(templateId) {}
    virtual ~CDialogBase() = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog until EndDialog; returns its result, or -1 when it cannot be created.
    INT_PTR DoModal(HWND parent = nullptr);
    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

protected:
    // Returns TRUE to let the system give the focus to the first tab-stop control.
    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND; returns true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // Any other message; returns true when handled, with the message's result in *result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int m_templateId;
    HWND m_hWnd = nullptr;
};
