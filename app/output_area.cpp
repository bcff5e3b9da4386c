#include "app/output_area.h"

#include <new>
#include <string>

#include "app/gbk_text.h"

namespace {

// The largest capacity the edit control accepts.
const LPARAM kOutputLimit = 0x7FFFFFFE;

}  // namespace

void PrepareOutputArea(HWND edit) { SendMessageW(edit, EM_SETLIMITTEXT, kOutputLimit, 0); }

void ClearOutputArea(HWND edit, CReportBuffer* report) {
    SetWindowTextW(edit, L"");
    report->Clear();
}

namespace {

// Needs no memory of its own: shown when the text to append could not be prepared.
// 内存不足，此处一段报告未能显示。
const wchar_t kOutOfMemoryNote[] =
    L"\r\n\u5185\u5b58\u4e0d\u8db3\uff0c\u6b64\u5904\u4e00\u6bb5\u62a5\u544a\u672a\u80fd\u663e\u793a\u3002\r\n";
// The same note in the report's bytes; saving it may still fail for want of memory.
const char kOutOfMemoryNoteGbk[] = "\r\n内存不足，此处一段报告未能显示。\r\n";

// Runs on the interface thread as one handler, so no click can come between placing
// the caret and inserting.
void InsertAtEnd(HWND edit, const wchar_t* text) {
    const LRESULT end = SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    SendMessageW(edit, WM_VSCROLL, SB_BOTTOM, 0);
}

}  // namespace

bool AppendToOutputArea(HWND edit, CReportBuffer* report, const CString& gbk,
                        std::wstring (*convert)(const CString&)) {
    // An exception must not leave this handler: it would unwind through the system's
    // message dispatch, which ends the program. Both steps that need memory come before
    // the insertion, so the area and the report never part ways.
    try {
        const std::wstring text = convert(gbk);
        report->Append(gbk);
        InsertAtEnd(edit, text.c_str());
        return true;
    } catch (const std::bad_alloc&) {
    }
    InsertAtEnd(edit, kOutOfMemoryNote);
    try {
        report->Append(kOutOfMemoryNoteGbk);
    } catch (const std::bad_alloc&) {
    }
    return false;
}
