#pragma once

#include "webapp/charts/chartdata.h"
#include "webapp/rendering/html.h"

namespace webapp {

// The data a chart draws as a table, for screen readers and for anyone who wants the figures:
// a row per category ("Other" included), a column per series headed by its title, values as
// shown (ChartValue::shown), NULL as an empty cell. Any thread may call.
Html ChartTable(const ChartDefinition& chart, const ChartData& data, const QString& caption);

} // namespace webapp
