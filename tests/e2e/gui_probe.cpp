// Reads Tollvane's window from outside, for the window test: what the output area,
// the progress bar and the status line hold, the text of an open message box, and
// where on the screen a control is, so that real mouse clicks can be aimed at it.
//
//   gui_probe report            the output area's text, as GBK bytes, on standard output
//   gui_probe state             progress and its range's top, start button, status and
//                               report length, whether the upload button shows, one per line
//   gui_probe field             the domain field's text, as GBK bytes
//   gui_probe findings          the findings list's text, as GBK bytes
//   gui_probe message           the text of the message box the program shows, if any
//   gui_probe where ID          screen centre of the main dialog's control ID
//   gui_probe rect ID           screen rectangle of that control: left top width height
//   gui_probe where-box ID      screen centre of the open message box's button ID
//   gui_probe closebox          screen position of the main dialog's close button
//   gui_probe preview [counts]  the redaction preview's report (or its counts line), as GBK
//   gui_probe layout            the screen's DPI, the dialog font's height, and one line
//                               for each control whose text would be clipped, that sticks
//                               out of the dialog or that overlaps another; exit 1 if any
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

namespace {

const int kDomainId = 1000;
const int kOutputId = 1003;
const int kProgressId = 1001;
const int kStartId = 1004;
const int kStatusId = 1005;
const int kUploadId = 1025;
const int kFindingsId = 1020;
const int kPreviewId = 1023;
const int kPreviewCountsId = 1024;

struct CFound {
    HWND dialog = nullptr;
    HWND box = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<CFound*>(context);
    wchar_t title[64] = {};
    wchar_t kind[64] = {};
    GetWindowTextW(window, title, 64);
    GetClassNameW(window, kind, 64);
    if (!IsWindowVisible(window) || wcscmp(kind, L"#32770") != 0 || wcscmp(title, L"Tollvane") != 0) {
        return TRUE;
    }
    if (GetDlgItem(window, kOutputId)) {
        found->dialog = window;
    } else {
        found->box = window;
    }
    return TRUE;
}

// The preview of a redacted save, a top-level dialog of its own.
BOOL CALLBACK VisitPreview(HWND window, LPARAM context) {
    if (!IsWindowVisible(window) || !GetDlgItem(window, kPreviewId)) return TRUE;
    *reinterpret_cast<HWND*>(context) = window;
    return FALSE;
}

CFound FindWindows() {
    CFound found;
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The control's text in GBK, converted here so it does not depend on the program's own conversion.
std::string TextOf(HWND control) {
    const int length = static_cast<int>(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = static_cast<int>(
        SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    text.resize(static_cast<size_t>(got));
    if (text.empty()) return std::string();
    const int size = WideCharToMultiByte(936, 0, text.data(), got, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(936, 0, text.data(), got, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

void PrintCentre(HWND control) {
    RECT box;
    GetWindowRect(control, &box);
    std::printf("%ld %ld\n", (box.left + box.right) / 2, (box.top + box.bottom) / 2);
}

int Fail(const char* why) {
    std::fprintf(stderr, "gui_probe: %s\n", why);
    return 2;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM context) {
    wchar_t kind[32] = {};
    GetClassNameW(child, kind, 32);
    if (_wcsicmp(kind, L"Static") == 0) *reinterpret_cast<std::string*>(context) += TextOf(child);
    return TRUE;
}

// The longest text the status line shows, wrapped at its blanks; it is empty while
// idle, so its own text cannot be measured then.
const wchar_t kLongestStatus[] = L"正在检测...请勿关闭窗口！ 第6步 检测HTTP（80）端口 999秒";

struct CControl {
    HWND window;
    int id;
    RECT box;  // in the dialog's client coordinates
};

struct CLayout {
    HWND dialog;
    CControl controls[32];
    int count = 0;
};

BOOL CALLBACK CollectControl(HWND child, LPARAM context) {
    auto* layout = reinterpret_cast<CLayout*>(context);
    if (layout->count == 32 || GetParent(child) != layout->dialog) return TRUE;
    CControl& control = layout->controls[layout->count++];
    control.window = child;
    control.id = GetDlgCtrlID(child);
    GetWindowRect(child, &control.box);
    MapWindowPoints(nullptr, layout->dialog, reinterpret_cast<POINT*>(&control.box), 2);
    return TRUE;
}

// The dialog's font as the dialog manager makes it from the template (9 points of
// "MS Shell Dlg" at the screen's DPI). Its handle in the program cannot be used here:
// font handles belong to the process that made them.
class CDialogFont {
public:
    explicit CDialogFont(int dpi)
        : m_font(CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                             L"MS Shell Dlg")),
          m_dc(CreateCompatibleDC(nullptr)),
          m_old(SelectObject(m_dc, m_font)) {}
    ~CDialogFont() {
        SelectObject(m_dc, m_old);
        DeleteDC(m_dc);
        DeleteObject(m_font);
    }
    CDialogFont(const CDialogFont&) = delete;
    CDialogFont& operator=(const CDialogFont&) = delete;

    // The size of TEXT drawn on one line.
    SIZE TextSize(const std::wstring& text) const {
        RECT need = {0, 0, 0, 0};
        DrawTextW(m_dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_SINGLELINE);
        return SIZE{need.right, need.bottom};
    }
    // The text wrapped at its blanks to the width given, as a static control wraps it.
    SIZE WrappedTextSize(const std::wstring& text, long width) const {
        RECT need = {0, 0, width, 0};
        DrawTextW(m_dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_WORDBREAK);
        return SIZE{need.right, need.bottom};
    }
    int Height() const {
        TEXTMETRICW metrics{};
        GetTextMetricsW(m_dc, &metrics);
        return metrics.tmHeight;
    }

private:
    HFONT m_font;
    HDC m_dc;
    HGDIOBJ m_old;
};

std::wstring WideTextOf(HWND control) {
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    return text;
}

// Room the control leaves for its text: buttons draw a frame and a focus rectangle
// inside their edge, edit fields a border and a margin.
SIZE TextRoom(const CControl& control, const wchar_t* kind) {
    RECT inside;
    GetClientRect(control.window, &inside);
    SIZE room{inside.right, inside.bottom};
    if (_wcsicmp(kind, L"Button") == 0) {
        room.cx -= 2 * (GetSystemMetrics(SM_CXEDGE) + 3);
        room.cy -= 2 * (GetSystemMetrics(SM_CYEDGE) + 1);
    } else if (_wcsicmp(kind, L"Edit") == 0) {
        room.cy -= 2;
    }
    return room;
}

// A button that wraps its text (BS_MULTILINE) is measured wrapped, beside its check box.
bool WrapsText(const CControl& control, const wchar_t* kind) {
    return _wcsicmp(kind, L"Button") == 0 && (GetWindowLongW(control.window, GWL_STYLE) & BS_MULTILINE) != 0;
}

int CheckLayout(HWND dialog) {
    CLayout layout;
    layout.dialog = dialog;
    EnumChildWindows(dialog, &CollectControl, reinterpret_cast<LPARAM>(&layout));
    RECT client;
    GetClientRect(dialog, &client);
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const CDialogFont font(dpi);
    std::printf("dpi=%d\n", dpi);
    std::printf("font_height=%d\n", font.Height());
    std::printf("client=%ldx%ld\n", client.right, client.bottom);
    int problems = 0;
    for (int i = 0; i < layout.count; ++i) {
        const CControl& control = layout.controls[i];
        wchar_t kind[32] = {};
        GetClassNameW(control.window, kind, 32);
        RECT inside;
        IntersectRect(&inside, &control.box, &client);
        if (!EqualRect(&inside, &control.box)) {
            std::printf("outside id=%d\n", control.id);
            ++problems;
        }
        for (int j = i + 1; j < layout.count; ++j) {
            RECT both;
            if (IntersectRect(&both, &control.box, &layout.controls[j].box)) {
                std::printf("overlap id=%d id=%d\n", control.id, layout.controls[j].id);
                ++problems;
            }
        }
        std::wstring text = control.id == kStatusId ? kLongestStatus : WideTextOf(control.window);
        if (_wcsicmp(kind, L"Edit") == 0) text = L"Wy";  // a full line's height
        if (text.empty()) continue;
        SIZE room = TextRoom(control, kind);
        const bool wraps = control.id == kStatusId || WrapsText(control, kind);
        if (WrapsText(control, kind)) room.cx -= GetSystemMetrics(SM_CXMENUCHECK);
        const SIZE need = wraps ? font.WrappedTextSize(text, room.cx) : font.TextSize(text);
        const bool clipped = need.cx > room.cx || need.cy > room.cy;
        std::printf("%s id=%d needs=%ldx%ld has=%ldx%ld\n", clipped ? "clipped" : "fits", control.id, need.cx,
                    need.cy, room.cx, room.cy);
        if (clipped) ++problems;
    }
    std::printf("controls=%d problems=%d\n", layout.count, problems);
    return problems == 0 ? 0 : 1;
}

// The dialog's state for the checks, one "name=value" line each.
int PrintState(const CFound& found) {
    // The position is read before the report, so a report without a first step
    // header proves the position had not been stepped by this run yet.
    const LRESULT position = SendMessageW(GetDlgItem(found.dialog, kProgressId), PBM_GETPOS, 0, 0);
    const std::string report = TextOf(GetDlgItem(found.dialog, kOutputId));
    std::printf("progress=%ld\n", static_cast<long>(position));
    const LRESULT top = SendMessageW(GetDlgItem(found.dialog, kProgressId), PBM_GETRANGE, FALSE, 0);
    std::printf("progress_max=%ld\n", static_cast<long>(top));
    std::printf("start_enabled=%d\n", IsWindowEnabled(GetDlgItem(found.dialog, kStartId)) ? 1 : 0);
    std::printf("report_bytes=%zu\n", report.size());
    std::printf("step1_written=%d\n", report.find("\r\n\xB5\xDA" "1\xB2\xBD---") != std::string::npos ? 1 : 0);
    std::printf("status=%s\n", TextOf(GetDlgItem(found.dialog, kStatusId)).c_str());
    std::printf("box_open=%d\n", found.box ? 1 : 0);
    std::printf("upload_shown=%d\n", IsWindowVisible(GetDlgItem(found.dialog, kUploadId)) ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Fail("no command");
    _setmode(_fileno(stdout), _O_BINARY);
    const std::string command = argv[1];
    const CFound found = FindWindows();
    if (command == "message") {
        if (!found.box) return 1;
        std::string text;
        EnumChildWindows(found.box, &CollectStatic, reinterpret_cast<LPARAM>(&text));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (command == "where-box") {
        if (!found.box || argc < 3) return Fail("no message box");
        HWND button = GetDlgItem(found.box, std::atoi(argv[2]));
        if (!button) return Fail("no such button");
        PrintCentre(button);
        return 0;
    }
    if (command == "preview") {
        HWND preview = nullptr;
        EnumWindows(&VisitPreview, reinterpret_cast<LPARAM>(&preview));
        if (!preview) return 1;
        const int id = argc >= 3 && std::strcmp(argv[2], "counts") == 0 ? kPreviewCountsId : kPreviewId;
        const std::string text = TextOf(GetDlgItem(preview, id));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!found.dialog) return Fail("main dialog not found");
    if (command == "report") {
        const std::string text = TextOf(GetDlgItem(found.dialog, kOutputId));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (command == "findings") {
        const std::string text = TextOf(GetDlgItem(found.dialog, kFindingsId));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (command == "field") {
        const std::string text = TextOf(GetDlgItem(found.dialog, kDomainId));
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (command == "state") return PrintState(found);
    if (command == "where" && argc >= 3) {
        HWND control = GetDlgItem(found.dialog, std::atoi(argv[2]));
        if (!control) return Fail("no such control");
        PrintCentre(control);
        return 0;
    }
    if (command == "rect" && argc >= 3) {
        HWND control = GetDlgItem(found.dialog, std::atoi(argv[2]));
        if (!control) return Fail("no such control");
        RECT box;
        GetWindowRect(control, &box);
        std::printf("%ld %ld %ld %ld\n", box.left, box.top, box.right - box.left, box.bottom - box.top);
        return 0;
    }
    if (command == "closebox") {
        RECT frame;
        GetWindowRect(found.dialog, &frame);
        const int border = GetSystemMetrics(SM_CXFIXEDFRAME);
        const int button = GetSystemMetrics(SM_CXSIZE);
        const int caption = GetSystemMetrics(SM_CYCAPTION);
        std::printf("%ld %ld\n", frame.right - border - button / 2 - 1, frame.top + border + caption / 2);
        return 0;
    }
    if (command == "layout") return CheckLayout(found.dialog);
    return Fail("unknown command");
}
