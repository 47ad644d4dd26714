#pragma once

#include "webapp/charts/chartdefinition.h"
#include "webapp/pageenvironment.h"

#include <optional>

namespace webapp {

// ?page=charts: the application's charts the user may see (those whose query they may use),
// each by its title with its description.
Response ChartsPage(const PageEnvironment& env);
// ?page=chart&name=c: charts/c.xml drawn from its query's rows, with the query's parameter
// form when it has parameters (the chart is drawn once they are sent, as a query is run).
Response ChartPage(const PageEnvironment& env);

// A chart of the application with its query, ready to draw; or why it is not.
struct LoadedChart {
    std::optional<ChartDefinition> chart;
    std::optional<QueryInfo> query;
    bool refused = false; // the user may not use its query
    Html problem;         // what is wrong, when there is no chart
    int status = 200;     // 404 for no such chart, 500 for a definition that does not work
};
// Reads, checks and finds the query of the chart name. Raises DataUnavailable.
LoadedChart LoadChart(const PageEnvironment& env, const QString& name);
// The chart drawn from the rows of run (ChartFigure), or the data server's error, or what is
// wrong with the chart. id makes the picture's ids unique in the page. Raises
// DataUnavailable.
Html DrawChart(const PageEnvironment& env, const ChartDefinition& chart, const QueryRun& run,
               const QString& id);

} // namespace webapp
