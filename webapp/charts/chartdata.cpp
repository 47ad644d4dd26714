#include "webapp/charts/chartdata.h"

#include "webapp/rendering/numberformat.h"

#include <cmath>

namespace webapp {

namespace {

// Enough categories for a year of months, two years of half-months or a country list,
// few enough that each keeps a readable label across a page.
constexpr int MAX_CATEGORIES = 25;
// More slices than this are slivers nobody can tell apart.
constexpr int MAX_SLICES = 8;

// A value as read; decimals < 0 shows a number with the decimals it has.
ChartValue valueOf(const Cell& cell, int decimals, const QLocale& locale) {
    if (cell.isNull || cell.isBlob)
        return {};
    ChartValue value{std::nullopt, cell.text, cell.text};
    const QString trimmed = cell.text.trimmed();
    if (IsNumberText(trimmed)) {
        const double n = trimmed.toDouble();
        if (std::isfinite(n)) {
            value.number = n;
            value.shown = FormatNumber(trimmed, locale, decimals);
        }
    }
    return value;
}

qsizetype columnIn(const RowSet& rows, const QString& column) {
    const qsizetype at = rows.column(column);
    if (at < 0)
        throw ChartDefinitionError{
            QStringLiteral("The query's result has no column %1.").arg(column)};
    return at;
}

// The sum of the values from first on, NULL when none is a number.
ChartValue sumFrom(const QList<ChartValue>& values, qsizetype first, int decimals,
                   const QLocale& locale) {
    std::optional<double> sum;
    for (qsizetype i = first; i < values.size(); ++i)
        if (values[i].number)
            sum = sum.value_or(0) + *values[i].number;
    if (!sum)
        return {};
    const QString text = QString::number(*sum, 'g', 15);
    return {sum, text, FormatNumber(text, locale, decimals)};
}

void groupRest(ChartData& data, int limit, const QString& otherTitle, int decimals,
               const QLocale& locale) {
    if (limit <= 0 || data.categories.size() <= limit)
        return;
    const qsizetype kept = limit - 1;
    data.grouped = int(data.categories.size() - kept);
    data.categories.resize(kept);
    data.categories.append({std::nullopt, otherTitle, otherTitle});
    for (ChartSeriesData& s : data.series) {
        const ChartValue other = sumFrom(s.values, kept, decimals, locale);
        s.values.resize(kept);
        s.values.append(other);
    }
}

} // namespace

int ChartData::maxCategories(ChartType type) {
    switch (type) {
    case ChartType::Pie:
        return MAX_SLICES;
    case ChartType::Scatter:
        return 0; // points, not categories: each row is drawn
    default:
        return MAX_CATEGORIES;
    }
}

ChartData ChartDataOf(const ChartDefinition& chart, const RowSet& rows, const QString& otherTitle,
                      const QLocale& locale) {
    ChartData data;
    const qsizetype category = columnIn(rows, chart.category.column);
    QList<qsizetype> columns;
    for (const ChartColumn& s : chart.series) {
        columns.append(columnIn(rows, s.column));
        data.series.append({s.title, {}});
    }
    // Categories are names but on a scatter chart's numeric axis.
    const bool numericCategories = chart.type == ChartType::Scatter;
    for (const QList<Cell>& row : rows.rows) {
        ChartValue c = valueOf(row[category], chart.categoryDecimals, locale);
        if (!numericCategories)
            c.shown = c.text;
        data.categories.append(c);
        for (qsizetype i = 0; i < columns.size(); ++i)
            data.series[i].values.append(valueOf(row[columns[i]], chart.decimals, locale));
    }
    groupRest(data, ChartData::maxCategories(chart.type), otherTitle, chart.decimals, locale);
    return data;
}

} // namespace webapp
