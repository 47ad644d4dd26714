#pragma once

#include "webapp/charts/chartdefinition.h"
#include "webapp/data/remotedatabase.h"
#include "webapp/rendering/html.h"

namespace webapp {

class Labels;

// A chart as a page shows it: the picture (ChartSvg) with its legend, notes on what it left
// out, and its data as a table below; for rows with nothing to draw, a message instead of a
// picture. rows.more says the query had more rows than were read. id makes the picture's
// ids unique in the page. Raises ChartDefinitionError when the rows lack a column the chart
// names. Any thread may call.
Html ChartFigure(const Labels& labels, const ChartDefinition& chart, const RowSet& rows,
                 const QString& id);

} // namespace webapp
