#include "webapp/charts/charttable.h"

namespace webapp {

namespace {

// A value's cell: a number right-aligned, as shown; a value's cell is labelled by its column
// for the narrow layout of rows as cards.
Html cell(const ChartValue& value, const QString& column = {}) {
    const bool header = column.isEmpty();
    const Html open =
        header ? Html("<th scope=\"row\"") : Html("<td data-label=\"" + Html::text(column) + "\"");
    const Html close = header ? Html("</th>") : Html("</td>");
    return open + (value.number ? Html(" class=\"num\">") : Html(">")) + Html::text(value.shown) +
           close;
}

} // namespace

Html ChartTable(const ChartDefinition& chart, const ChartData& data, const QString& caption) {
    const bool numericCategories = chart.type == ChartType::Scatter;
    Html html = "<div class=\"scroll\"><table class=\"data chart-data\"><caption>" +
                Html::text(caption) + "</caption>\n<thead><tr><th scope=\"col\"" +
                (numericCategories ? Html(" class=\"num\"") : Html()) + ">" +
                Html::text(chart.category.title) + "</th>";
    for (const ChartSeriesData& s : data.series)
        html += "<th scope=\"col\" class=\"num\">" + Html::text(s.title) + "</th>";
    html += Markup("</tr></thead><tbody>\n");
    for (qsizetype i = 0; i < data.categories.size(); ++i) {
        const ChartValue& category = data.categories[i];
        html += "<tr>" +
                cell(numericCategories ? category : ChartValue{std::nullopt, {}, category.shown});
        for (const ChartSeriesData& s : data.series)
            html += cell(s.values[i], s.title);
        html += Markup("</tr>\n");
    }
    return html + "</tbody></table></div>";
}

} // namespace webapp
