// The window's picture of the path: a control of its own class that paints the chart's
// layout (render/path_chart.h) with GDI, scaled to the control's width so it stays sharp
// at any DPI, and scrolls when the path is longer than the control is tall.
#pragma once

#include <windows.h>

#include <string_view>

struct CPathChart;

// The control's class name, as the resource script names it.
extern const wchar_t kPathChartClass[];

// Registers the class; before the dialog is created. False when the system refuses.
bool RegisterPathChartClass(HINSTANCE instance);
// Shows the chart (copied); an empty chart shows a line saying where the picture comes from.
void ShowPathChart(HWND control, const CPathChart& chart);
void ClearPathChart(HWND control);
// The chart of a report's path statistics, read from its saved bytes (text or JSON); a
// report without that step shows the empty chart.
void ShowReportPathChart(HWND control, std::string_view reportBytes);
