#include "webapp/charts/chartfigure.h"

#include "webapp/charts/chartdata.h"
#include "webapp/charts/chartsvg.h"
#include "webapp/charts/charttable.h"
#include "webapp/rendering/labels.h"
#include "webapp/rendering/numberformat.h"

namespace webapp {

namespace {

QString typeName(const Labels& labels, ChartType type) {
    static const char* const ids[] = {"webChartBar",  "webChartStackedBar", "webChartLine",
                                      "webChartArea", "webChartPie",        "webChartScatter"};
    return labels.text(QString::fromLatin1(ids[int(type)]));
}

// Swatches with the series' titles (a pie's: its categories').
Html legend(const ChartDefinition& chart, const ChartData& data) {
    QStringList titles;
    if (chart.type == ChartType::Pie)
        for (const ChartValue& c : data.categories)
            titles << c.text;
    else if (data.series.size() > 1)
        for (const ChartSeriesData& s : data.series)
            titles << s.title;
    if (titles.isEmpty())
        return {};
    Html html("<ul class=\"legend\">");
    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (chart.type == ChartType::Pie) {
            const std::optional<double> v = data.series.first().values[i].number;
            if (!v || *v <= 0)
                continue; // no slice of its own
        }
        html += "<li><span class=\"swatch " + SeriesClass(i) + "\"></span>" +
                Html::text(titles[i]) + "</li>";
    }
    return html + "</ul>";
}

Html notes(const Labels& labels, const ChartData& data, const RowSet& rows) {
    Html html;
    if (data.grouped > 0)
        html += "<p class=\"note\">" +
                labels.html(QStringLiteral("webChartGrouped"),
                            common::Value::Array{data.categories.last().text,
                                                 QString::number(data.grouped)}) +
                "</p>";
    if (rows.more)
        html += "<p class=\"note\">" +
                labels.html(QStringLiteral("webChartCut"), QString::number(rows.rows.size())) +
                "</p>";
    return html;
}

} // namespace

Html ChartFigure(const Labels& labels, const ChartDefinition& chart, const RowSet& rows,
                 const QString& id) {
    const QLocale locale = NumberLocale(labels);
    const ChartData data =
        ChartDataOf(chart, rows, labels.text(QStringLiteral("webChartOther")), locale);
    if (!ChartHasNumbers(chart, data))
        return "<p class=\"chart-empty\">" + labels.html(QStringLiteral("webChartEmpty")) + "</p>";
    ChartCaption caption{chart.title, {}, locale, id};
    caption.description =
        labels.text(QStringLiteral("webChartSummary"),
                    common::Value::Array{typeName(labels, chart.type),
                                         QString::number(data.categories.size())});
    if (!chart.description.isEmpty())
        caption.description = chart.description + QLatin1Char(' ') + caption.description;
    return "<figure class=\"chart\">" + ChartSvg(chart, data, caption) + legend(chart, data) +
           "</figure>\n" + notes(labels, data, rows) +
           ChartTable(chart, data, labels.text(QStringLiteral("webChartData"), chart.title));
}

} // namespace webapp
