#pragma once

#include "webapp/charts/chartdefinition.h"
#include "webapp/data/remotedatabase.h"

#include <QLocale>
#include <optional>

namespace webapp {

// One value of a chart: its number when it is one (NULL, text and binary data are none), its
// text as the database gave it ("" for NULL), and as people read it: a number in the locale's
// notation with the chart's decimals, other text as it is.
struct ChartValue {
    std::optional<double> number;
    QString text;
    QString shown;
};

struct ChartSeriesData {
    QString title;
    QList<ChartValue> values; // one per category
};

// The rows of a chart's query as the chart draws them: categories in the query's order, a
// chart of more than maxCategories(type) showing the first ones and one "Other" that sums
// the rest per series (NULLs left out; NULL when all are).
struct ChartData {
    QList<ChartValue> categories; // a scatter chart's x values; the categories' labels
    QList<ChartSeriesData> series;
    int grouped = 0; // how many categories the last one, "Other", stands for; 0 for none

    bool isEmpty() const { return categories.isEmpty(); }
    // Most categories a chart of the type shows ("Other" included); 0 for no limit.
    static int maxCategories(ChartType type);
};

// The chart's data from the rows of its query, its numbers shown in locale's notation.
// otherTitle names the grouped category. Raises ChartDefinitionError when a column the chart
// names is not in the result.
ChartData ChartDataOf(const ChartDefinition& chart, const RowSet& rows, const QString& otherTitle,
                      const QLocale& locale);

} // namespace webapp
