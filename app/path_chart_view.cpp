#include "app/path_chart_view.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/gbk_text.h"
#include "engine/report_files.h"
#include "render/path_chart.h"

const wchar_t kPathChartClass[] = L"TollvanePathChart";

namespace {

const int kLinePixels = 24;

struct CChartState {
    CPathChart chart;
    int scroll = 0;  // pixels scrolled down
};

CChartState* StateOf(HWND control) {
    return reinterpret_cast<CChartState*>(GetWindowLongPtrW(control, 0));
}

COLORREF Colour(EChartInk ink) {
    const std::uint32_t rgb = ChartInkColour(ink);
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Chart units to pixels: the whole layout is scaled to the control's width, so text and
// shapes are drawn at the screen's own resolution rather than stretched.
struct CScale {
    double factor;
    int scroll;
    int X(double units) const { return static_cast<int>(std::lround(units * factor)); }
    int Y(double units) const { return X(units) - scroll; }
};

void PaintRects(HDC dc, const CPathChart& chart, const CScale& scale) {
    for (const CChartRect& rect : chart.rects) {
        RECT box{scale.X(rect.x), scale.Y(rect.y), scale.X(rect.x + rect.width),
                 scale.Y(rect.y + rect.height)};
        box.right = std::max(box.right, box.left + 1);  // a hairline stays visible
        box.bottom = std::max(box.bottom, box.top + 1);
        HBRUSH brush = CreateSolidBrush(Colour(rect.ink));
        FillRect(dc, &box, brush);
        DeleteObject(brush);
    }
}

UINT AlignOf(EChartAlign align) {
    switch (align) {
        case EChartAlign::kStart:
            return TA_LEFT;
        case EChartAlign::kMiddle:
            return TA_CENTER;
        case EChartAlign::kEnd:
            return TA_RIGHT;
    }
    return TA_LEFT;
}

// The texts in the dialog's own typeface, at their sizes scaled.
void PaintTexts(HDC dc, const CPathChart& chart, const CScale& scale, const wchar_t* face) {
    SetBkMode(dc, TRANSPARENT);
    for (const CChartText& text : chart.texts) {
        HFONT font =
            CreateFontW(-std::max(1, scale.X(text.size)), 0, 0, 0, text.bold ? FW_BOLD : FW_NORMAL,
                        FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, face);
        HGDIOBJ old = SelectObject(dc, font);
        SetTextAlign(dc, TA_BASELINE | AlignOf(text.align));
        SetTextColor(dc, Colour(text.ink));
        const std::wstring wide = GbkToWide(CString(text.text));
        TextOutW(dc, scale.X(text.x), scale.Y(text.y), wide.c_str(), static_cast<int>(wide.size()));
        SelectObject(dc, old);
        DeleteObject(font);
    }
}

void PaintHint(HDC dc, RECT client, HFONT font) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(EChartInk::kMuted));
    const std::wstring hint =
        GbkToWide(CString("勾选附加检测运行后，或打开含路由逐跳统计的报告，这里显示路径图。"));
    InflateRect(&client, -8, -8);
    DrawTextW(dc, hint.c_str(), static_cast<int>(hint.size()), &client, DT_CENTER | DT_WORDBREAK);
    SelectObject(dc, old);
}

HFONT DialogFont(HWND control) {
    return reinterpret_cast<HFONT>(SendMessageW(GetParent(control), WM_GETFONT, 0, 0));
}

// Painted off screen first, so scrolling and resizing do not flicker.
void Paint(HWND control) {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(control, &paint);
    RECT client;
    GetClientRect(control, &client);
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap =
        CreateCompatibleBitmap(target, std::max(1L, client.right), std::max(1L, client.bottom));
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH background = CreateSolidBrush(Colour(EChartInk::kBackground));
    FillRect(dc, &client, background);
    DeleteObject(background);
    const CChartState* state = StateOf(control);
    HFONT font = DialogFont(control);
    if (!state || state->chart.empty) {
        PaintHint(dc, client, font);
    } else {
        LOGFONTW face{};
        if (!font || !GetObjectW(font, sizeof face, &face))
            lstrcpyW(face.lfFaceName, L"MS Shell Dlg 2");
        const CScale scale{client.right / state->chart.width, state->scroll};
        PaintRects(dc, state->chart, scale);
        PaintTexts(dc, state->chart, scale, face.lfFaceName);
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(control, &paint);
}

// The scroll bar's range is the chart's height at the current width.
void UpdateScrollBar(HWND control) {
    CChartState* state = StateOf(control);
    if (!state) return;
    RECT client;
    GetClientRect(control, &client);
    const int total = state->chart.empty
                          ? 0
                          : static_cast<int>(std::lround(state->chart.height * client.right /
                                                         state->chart.width));
    const int page = static_cast<int>(client.bottom);
    state->scroll = std::max(0, std::min(state->scroll, total - page));
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = std::max(0, total - 1);
    info.nPage = static_cast<UINT>(page);
    info.nPos = state->scroll;
    SetScrollInfo(control, SB_VERT, &info, TRUE);
}

void ScrollTo(HWND control, int position) {
    CChartState* state = StateOf(control);
    if (!state) return;
    state->scroll = position;
    UpdateScrollBar(control);
    InvalidateRect(control, nullptr, FALSE);
}

int ScrollTarget(HWND control, WPARAM request) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(control, SB_VERT, &info);
    switch (LOWORD(request)) {
        case SB_LINEUP:
            return info.nPos - kLinePixels;
        case SB_LINEDOWN:
            return info.nPos + kLinePixels;
        case SB_PAGEUP:
            return info.nPos - static_cast<int>(info.nPage);
        case SB_PAGEDOWN:
            return info.nPos + static_cast<int>(info.nPage);
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            return info.nTrackPos;
        case SB_TOP:
            return 0;
        case SB_BOTTOM:
            return info.nMax;
        default:
            return info.nPos;
    }
}

LRESULT CALLBACK ChartProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrW(control, 0, reinterpret_cast<LONG_PTR>(new CChartState));
            break;
        case WM_NCDESTROY:
            delete StateOf(control);
            SetWindowLongPtrW(control, 0, 0);
            break;
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT:
            Paint(control);
            return 0;
        case WM_SIZE:
            UpdateScrollBar(control);
            return 0;
        case WM_VSCROLL:
            ScrollTo(control, ScrollTarget(control, wParam));
            return 0;
        case WM_MOUSEWHEEL: {
            const CChartState* state = StateOf(control);
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            if (state) ScrollTo(control, state->scroll - notches * 3 * kLinePixels);
            return 0;
        }
        default:
            break;
    }
    return DefWindowProcW(control, message, wParam, lParam);
}

}  // namespace

bool RegisterPathChartClass(HINSTANCE instance) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.style = CS_HREDRAW | CS_VREDRAW;
    type.lpfnWndProc = &ChartProc;
    type.cbWndExtra = sizeof(LONG_PTR);
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    type.lpszClassName = kPathChartClass;
    return RegisterClassExW(&type) != 0;
}

void ShowPathChart(HWND control, const CPathChart& chart) {
    CChartState* state = StateOf(control);
    if (!state) return;
    state->chart = chart;
    ScrollTo(control, 0);
}

void ClearPathChart(HWND control) { ShowPathChart(control, CPathChart()); }

void ShowReportPathChart(HWND control, std::string_view reportBytes) {
    CReport report;
    CString error;
    if (!ReadReportBytes(std::string(reportBytes), &report, &error)) report = CReport();
    ShowPathChart(control, LayOutPathChart(report));
}
