#include "app/output_area.h"

#include <string>

#include "app/gbk_text.h"

namespace {

// The largest capacity the edit control accepts.
const LPARAM kOutputLimit = 0x7FFFFFFE;

}  // namespace

void PrepareOutputArea(HWND edit) { SendMessageW(edit, EM_SETLIMITTEXT, kOutputLimit, 0); }

void ClearOutputArea(HWND edit) { SetWindowTextW(edit, L""); }

void AppendToOutputArea(HWND edit, const CString& gbk) {
    const std::wstring text = GbkToWide(gbk);
    // Runs on the interface thread as one handler, so no click can come between
    // placing the caret and inserting.
    const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(edit, WM_VSCROLL, SB_BOTTOM, 0);
}

CString ReadOutputArea(HWND edit) {
    const int length = GetWindowTextLengthW(edit);
    if (length <= 0) return CString();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(edit, &text[0], length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return WideToGbk(text);
}
