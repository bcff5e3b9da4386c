// The chart's layout written as SVG: one element per shape and text, nothing else.
#include <cstdio>

#include "render/markup_text.h"
#include "render/path_chart.h"

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Colour(EChartInk ink) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(ChartInkColour(ink)));
    return text;
}

const char* Anchor(EChartAlign align) {
    switch (align) {
        case EChartAlign::kStart:
            return "start";
        case EChartAlign::kMiddle:
            return "middle";
        case EChartAlign::kEnd:
            return "end";
    }
    return "start";
}

void AppendRect(const CChartRect& rect, std::string* svg) {
    *svg += "<rect x=\"" + Number(rect.x) + "\" y=\"" + Number(rect.y) + "\" width=\"" +
            Number(rect.width) + "\" height=\"" + Number(rect.height) + "\" fill=\"" +
            Colour(rect.ink) + "\"/>\n";
}

void AppendText(const CChartText& text, const CTextCodec& codec, std::string* svg) {
    *svg += "<text x=\"" + Number(text.x) + "\" y=\"" + Number(text.y) + "\" font-size=\"" +
            Number(text.size) + "\" text-anchor=\"" + Anchor(text.align) + "\" fill=\"" +
            Colour(text.ink) + "\"" + (text.bold ? " font-weight=\"bold\"" : "") + ">" +
            MarkupText(text.text, codec) + "</text>\n";
}

}  // namespace

std::string PathChartSvg(const CPathChart& chart, const CTextCodec& codec) {
    if (chart.empty) return std::string();
    const std::string width = Number(chart.width), height = Number(chart.height);
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"path-chart\" viewBox=\"0 0 " + width +
        " " + height + "\" width=\"" + width + "\" height=\"" + height +
        "\" font-family=\"sans-serif\" role=\"img\">\n";
    svg += "<title>" + MarkupText(chart.title, codec) + "</title>\n";
    for (const CChartRect& rect : chart.rects) AppendRect(rect, &svg);
    for (const CChartText& text : chart.texts) AppendText(text, codec, &svg);
    svg += "</svg>\n";
    return svg;
}

std::string PathChartSvg(const CReport& report, const CTextCodec& codec) {
    return PathChartSvg(LayOutPathChart(report), codec);
}
