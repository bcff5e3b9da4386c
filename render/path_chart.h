// The picture of the path statistics: one row per hop with a bar from the best to the
// worst round trip, the average marked, and the loss by colour and number. It is laid out
// once here, in chart units, as shapes and texts; the SVG writer and the window's drawing
// only paint what this layout says, so the two never disagree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/report_json.h"
#include "model/report_model.h"

// How a hop's loss is shown: green for none worth naming, amber for some, red for heavy,
// by the same limits the findings use; grey for a hop that never answered.
enum class ELossShade { kNone, kSome, kHeavy, kSilent };

// The colours the chart uses, named by what they show.
enum class EChartInk {
    kBackground,
    kText,
    kMuted,
    kGrid,
    kBar,      // best to worst
    kAverage,  // the average's tick
    kGreen,
    kAmber,
    kRed,
    kSilent,
    kMarkBand,  // behind the hops that carry loss to the destination
    kMark,      // the stripe beside them
};
// 0xRRGGBB.
std::uint32_t ChartInkColour(EChartInk ink);

struct CChartRect {
    double x = 0, y = 0, width = 0, height = 0;
    EChartInk ink = EChartInk::kText;
};
enum class EChartAlign { kStart, kMiddle, kEnd };
struct CChartText {
    double x = 0, y = 0;  // the baseline's anchor point
    double size = 12;     // the font's em height
    EChartAlign align = EChartAlign::kStart;
    EChartInk ink = EChartInk::kText;
    bool bold = false;
    std::string text;  // GBK
};

// What one row says, before it is drawn.
struct CChartRow {
    int ttl = 0;
    std::string address;  // GBK; "???" for a silent hop
    std::string label;
    bool silent = false;
    double lossPercent = -1;
    ELossShade shade = ELossShade::kNone;
    // From the first hop whose loss persists to the destination onwards, as the findings
    // read the table.
    bool lossPersists = false;
    bool hasTimes = false;
    double bestMs = -1, averageMs = -1, worstMs = -1;
    double top = 0, height = 0;  // the row's band in chart units
};
struct CChartTable {
    std::string heading;  // GBK: "IPv4 → 203.0.113.80"
    std::vector<CChartRow> rows;
};

struct CPathChart {
    bool empty = true;  // no path statistics to draw
    double width = 0, height = 0;
    std::string title;                // GBK: domain, time and rounds
    double scaleMs = 0;               // the ms at the bar area's right edge, shared by both tables
    std::vector<CChartTable> tables;  // IPv4, then IPv6 when the report has it
    // The drawing, back to front: rectangles first, then texts.
    std::vector<CChartRect> rects;
    std::vector<CChartText> texts;
};

// The chart of the path facts; time is the step's time stamp as the report prints it.
CPathChart LayOutPathChart(const CPathFacts& path, const std::string& domain,
                           const std::string& time);
// The chart of a report's path statistics step; empty when the report has none.
CPathChart LayOutPathChart(const CReport& report);

// The domain a report checked: its own field, else the name the path step's heading
// gives ("路由逐跳统计：www.example.com [203.0.113.80]，..."); "" when neither says.
std::string ReportDomain(const CReport& report);

// The chart as one SVG element, UTF-8, every text escaped; "" for an empty chart.
std::string PathChartSvg(const CPathChart& chart, const CTextCodec& codec);
// The same for a report: what the support desk's console shows beside the report.
std::string PathChartSvg(const CReport& report, const CTextCodec& codec);
