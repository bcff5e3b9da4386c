#include "render/path_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "diagnosis/path_loss.h"
#include "diagnosis/thresholds.h"

namespace {

// The chart's frame, in chart units: wide enough for a full IPv6 address beside its bar.
const double kWidth = 560;
const double kTitleHeight = 30;
const double kNoteHeight = 18;
const double kAxisHeight = 20;
const double kHeadingHeight = 22;
const double kRowHeight = 30;
const double kBottomMargin = 8;
const double kTtlRight = 26;
const double kAddressLeft = 32;
const double kChipLeft = 296;
const double kLossRight = 352;
const double kBarLeft = 362;
const double kBarRight = 532;
// A table holds a row per TTL, a few more on a balanced route; a report edited to hold
// thousands is drawn only this far, so the picture stays bounded.
const size_t kMostRows = 128;

std::string Number(double value, bool percent) {
    char text[32];
    if (percent) {
        std::snprintf(text, sizeof text, "%.1f%%", value);
    } else {
        std::snprintf(text, sizeof text, "%g", value);
    }
    return text;
}

// The first of 1, 2, 5 times a power of ten at or above the slowest worst round trip, so
// the scale's ticks fall on round numbers.
double ScaleFor(double slowestMs) {
    double step = 1;
    while (step < slowestMs) {
        if (step * 2 >= slowestMs) return step * 2;
        if (step * 5 >= slowestMs) return step * 5;
        step *= 10;
    }
    return step;
}

// The one place the chart meets the findings' reading of the table: its rows become the
// hops the reading takes, index for index.
CPathLossReading ReadTableLoss(const CPathTableFacts& table) {
    std::vector<CPathHop> hops;
    hops.reserve(table.rows.size());
    for (const CPathRowFacts& row : table.rows) {
        hops.push_back(HopOfRow(row));
    }
    return ReadPathLoss(hops);
}

ELossShade ShadeOf(const CPathRowFacts& row, bool silent) {
    if (silent) return ELossShade::kSilent;
    if (row.lossPercent >= diagnosis_limits::kPathLossCriticalPercent) return ELossShade::kHeavy;
    if (row.lossPercent > diagnosis_limits::kPathLossPercent) return ELossShade::kSome;
    return ELossShade::kNone;
}

CChartTable ReadTable(const CPathTableFacts& facts, const char* family) {
    CChartTable table;
    table.heading = std::string(family) + "：" + facts.target;
    if (facts.rows.size() > kMostRows)
        table.heading += "（只画出前" + std::to_string(kMostRows) + "行）";
    const CPathLossReading loss = ReadTableLoss(facts);
    for (size_t i = 0; i < facts.rows.size() && i < kMostRows; ++i) {
        const CPathRowFacts& source = facts.rows[i];
        CChartRow row;
        row.ttl = source.ttl;
        row.address = source.address;
        row.label = source.label;
        row.silent = source.address == "???" || source.lossPercent >= 100.0;
        row.lossPercent = source.lossPercent;
        row.shade = ShadeOf(source, row.silent);
        row.lossPersists = loss.kind == EPathLoss::kPersistent && static_cast<int>(i) >= loss.hop;
        row.hasTimes = !row.silent && source.bestMs >= 0 && source.worstMs >= 0;
        row.bestMs = source.bestMs;
        row.averageMs = source.averageMs;
        row.worstMs = source.worstMs;
        table.rows.push_back(row);
    }
    return table;
}

EChartInk InkOf(ELossShade shade) {
    switch (shade) {
        case ELossShade::kNone:
            return EChartInk::kGreen;
        case ELossShade::kSome:
            return EChartInk::kAmber;
        case ELossShade::kHeavy:
            return EChartInk::kRed;
        case ELossShade::kSilent:
            break;
    }
    return EChartInk::kSilent;
}

class CChartPainter {
public:
    explicit CChartPainter(CPathChart* chart) : m_chart(chart) {}

    void Rect(double x, double y, double width, double height, EChartInk ink) {
        m_chart->rects.push_back(CChartRect{x, y, width, height, ink});
    }
    void Text(double x, double y, double size, EChartAlign align, EChartInk ink, std::string text,
              bool bold = false) {
        m_chart->texts.push_back(CChartText{x, y, size, align, ink, bold, std::move(text)});
    }
    double BarX(double ms) const {
        return kBarLeft +
               (kBarRight - kBarLeft) * std::min(ms, m_chart->scaleMs) / m_chart->scaleMs;
    }

private:
    CPathChart* m_chart;
};

// Ticks on round numbers: a scale of 2, 20, ... in four steps, of 1 or 5 times a power of
// ten in five.
int TicksFor(double scaleMs) {
    const double leading = scaleMs / std::pow(10.0, std::floor(std::log10(scaleMs)));
    return std::lround(leading) == 2 ? 4 : 5;
}

void DrawAxis(CChartPainter& paint, double scaleMs, double top, double bottom) {
    const int ticks = TicksFor(scaleMs);
    for (int i = 0; i <= ticks; ++i) {
        const double ms = scaleMs * i / ticks;
        const double x = paint.BarX(ms);
        paint.Rect(x - 0.5, top + kAxisHeight - 6, 1, bottom - top - kAxisHeight + 6,
                   EChartInk::kGrid);
        paint.Text(i == 0 ? x + 3 : x, top + 12, 10, EChartAlign::kMiddle, EChartInk::kMuted,
                   Number(ms, false));
    }
}

void DrawRow(CChartPainter& paint, const CChartRow& row) {
    const double middle = row.top + row.height / 2;
    if (row.lossPersists) {
        paint.Rect(0, row.top + 1, kWidth, row.height - 2, EChartInk::kMarkBand);
        paint.Rect(0, row.top + 1, 5, row.height - 2, EChartInk::kMark);
    }
    paint.Text(kTtlRight, row.top + 13, 12, EChartAlign::kEnd, EChartInk::kMuted,
               std::to_string(row.ttl));
    paint.Text(kAddressLeft, row.top + 13, 12, EChartAlign::kStart,
               row.silent ? EChartInk::kMuted : EChartInk::kText, row.address);
    const std::string second = row.silent ? std::string("无应答（该跳不回应探测）") : row.label;
    paint.Text(kAddressLeft, row.top + 26, 10, EChartAlign::kStart, EChartInk::kMuted, second);
    const EChartInk ink = InkOf(row.shade);
    paint.Rect(kChipLeft, middle - 5, 10, 10, ink);
    if (!row.silent && row.lossPercent >= 0)
        paint.Text(kLossRight, middle + 4, 12, EChartAlign::kEnd, ink,
                   Number(row.lossPercent, true), true);
    if (!row.hasTimes) return;
    const double from = paint.BarX(row.bestMs);
    const double to = std::max(paint.BarX(row.worstMs), from + 2);
    paint.Rect(from, middle - 4, to - from, 8, EChartInk::kBar);
    if (row.averageMs >= 0)
        paint.Rect(paint.BarX(row.averageMs) - 1, middle - 8, 2, 16, EChartInk::kAverage);
}

// The note under the title names where the loss that reaches the destination starts.
std::string PersistentNote(const std::vector<CChartTable>& tables) {
    for (const CChartTable& table : tables) {
        for (const CChartRow& row : table.rows) {
            if (row.lossPersists)
                return "自第" + std::to_string(row.ttl) + "跳（" + row.address +
                       "）起丢包持续到目的地";
        }
    }
    return std::string();
}

double SlowestMs(const std::vector<CChartTable>& tables) {
    double slowest = 0;
    for (const CChartTable& table : tables)
        for (const CChartRow& row : table.rows)
            if (row.hasTimes) slowest = std::max(slowest, row.worstMs);
    return slowest;
}

void Draw(CPathChart* chart) {
    CChartPainter paint(chart);
    paint.Rect(0, 0, chart->width, chart->height, EChartInk::kBackground);
    paint.Text(8, 20, 15, EChartAlign::kStart, EChartInk::kText, chart->title, true);
    double y = kTitleHeight;
    const std::string note = PersistentNote(chart->tables);
    if (!note.empty()) {
        paint.Text(8, y + 12, 11, EChartAlign::kStart, EChartInk::kMark, note, true);
        y += kNoteHeight;
    }
    DrawAxis(paint, chart->scaleMs, y, chart->height - kBottomMargin);
    paint.Text(kChipLeft, y + 12, 10, EChartAlign::kStart, EChartInk::kMuted, "丢包率");
    paint.Text(kWidth - 6, y + 12, 10, EChartAlign::kEnd, EChartInk::kMuted, "ms");
    y += kAxisHeight;
    for (CChartTable& table : chart->tables) {
        paint.Text(8, y + 15, 12, EChartAlign::kStart, EChartInk::kText, table.heading, true);
        y += kHeadingHeight;
        for (CChartRow& row : table.rows) {
            row.top = y;
            row.height = kRowHeight;
            DrawRow(paint, row);
            y += kRowHeight;
        }
    }
}

}  // namespace

std::uint32_t ChartInkColour(EChartInk ink) {
    switch (ink) {
        case EChartInk::kBackground:
            return 0xFFFFFF;
        case EChartInk::kText:
            return 0x202020;
        case EChartInk::kMuted:
            return 0x6B6B6B;
        case EChartInk::kGrid:
            return 0xE0E0E0;
        case EChartInk::kBar:
            return 0x7BA7D9;
        case EChartInk::kAverage:
            return 0x1F3F7A;
        case EChartInk::kGreen:
            return 0x2E9E44;
        case EChartInk::kAmber:
            return 0xE8A100;
        case EChartInk::kRed:
            return 0xD62020;
        case EChartInk::kSilent:
            return 0xB0B0B0;
        case EChartInk::kMarkBand:
            return 0xFDE7E7;
        case EChartInk::kMark:
            return 0xD62020;
    }
    return 0;
}

CPathChart LayOutPathChart(const CPathFacts& path, const std::string& domain,
                           const std::string& time) {
    CPathChart chart;
    chart.tables.push_back(ReadTable(path.ipv4, "IPv4"));
    if (path.ipv6) chart.tables.push_back(ReadTable(*path.ipv6, "IPv6"));
    size_t rows = 0;
    for (const CChartTable& table : chart.tables) rows += table.rows.size();
    chart.empty = rows == 0;
    if (chart.empty) return chart;
    const std::string& name = domain.empty() ? path.ipv4.target : domain;
    chart.title =
        "路由逐跳统计：" + name + "，" + time + "，" + std::to_string(path.ipv4.rounds) + "轮";
    chart.scaleMs = ScaleFor(SlowestMs(chart.tables));
    chart.width = kWidth;
    chart.height = kTitleHeight + (PersistentNote(chart.tables).empty() ? 0 : kNoteHeight) +
                   kAxisHeight + kHeadingHeight * static_cast<double>(chart.tables.size()) +
                   kRowHeight * static_cast<double>(rows) + kBottomMargin;
    Draw(&chart);
    return chart;
}

namespace {

const CStepRecord* PathStep(const CReport& report) {
    for (const CStepRecord& step : report.steps)
        if (step.step == EReportStep::kPathStatistics) return &step;
    return nullptr;
}

}  // namespace

std::string ReportDomain(const CReport& report) {
    const CStepRecord* step = PathStep(report);
    if (!report.domain.empty() || !step) return report.domain;
    const std::string heading = "路由逐跳统计：";
    const std::string& text = step->text;
    const size_t start = text.find(heading);
    if (start == std::string::npos) return std::string();
    const size_t from = start + heading.size();
    const size_t end = text.find_first_of(" \r\n", from);
    return text.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

CPathChart LayOutPathChart(const CReport& report) {
    const CStepRecord* step = PathStep(report);
    if (!step) return CPathChart();
    return LayOutPathChart(step->path, ReportDomain(report), step->ended);
}
