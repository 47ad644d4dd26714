#pragma once

#include "webapp/charts/chartdata.h"
#include "webapp/rendering/html.h"

#include <QLocale>

namespace webapp {

// What a chart's picture says beside its data: its texts and how numbers are written.
struct ChartCaption {
    QString title;
    QString description; // what the picture shows, in words (its <desc>)
    QLocale locale;
    QString id; // unique in the page: the ids of the picture's title and description
};

// The chart as inline SVG: role="img" with a <title> and <desc>, marks classed by series
// ("series-1"...) for the style sheet to colour, text in currentColor, a label that is too
// long shortened with its whole text in a <title>. NULL values leave a gap in lines and no
// bar or slice; bars and areas stand on zero. Only for data that has a number to draw
// (ChartHasNumbers). Any thread may call.
Html ChartSvg(const ChartDefinition& chart, const ChartData& data, const ChartCaption& caption);

// Whether the data holds a value the chart can draw (a pie only draws those above zero; a
// scatter chart only rows whose x is a number too).
bool ChartHasNumbers(const ChartDefinition& chart, const ChartData& data);

// The class of the n-th series (from 0), and of the n-th slice of a pie.
Html SeriesClass(qsizetype n);

} // namespace webapp
