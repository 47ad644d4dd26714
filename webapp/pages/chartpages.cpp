#include "webapp/pages/chartpages.h"

#include "webapp/charts/chartfigure.h"
#include "webapp/data/querytexts.h"
#include "webapp/data/queryview.h"
#include "webapp/pages/accesscheck.h"
#include "webapp/pages/chartfiles.h"
#include "webapp/pages/errorpages.h"
#include "webapp/pages/parameterform.h"

namespace webapp {

namespace {

// The most rows a chart reads of its query, in replies of RemoteDatabase::MAX_LIMIT: a chart
// of more is no longer read, and says it shows only these.
constexpr qsizetype MAX_CHART_ROWS = 5000;

const QString HELP = QStringLiteral("queries");

RowSet readRows(const RemoteDatabase& database, QueryRun run) {
    run.offset = 0;
    run.limit = RemoteDatabase::MAX_LIMIT;
    run.orderBy.clear(); // the query's own order is the chart's
    run.total = false;
    RowSet rows = database.query(run);
    while (rows.more && rows.rows.size() < MAX_CHART_ROWS) {
        run.offset = rows.rows.size();
        const RowSet next = database.query(run);
        rows.rows += next.rows;
        rows.more = next.more && !next.rows.isEmpty();
    }
    return rows;
}

Html invalid(const PageEnvironment& env, const QString& name, const QString& detail) {
    return "<p class=\"error\">" +
           env.html("webChartInvalid", QString(name + QStringLiteral(".xml"))) +
           "</p><p class=\"detail\">" + Html::text(detail) + "</p>";
}

struct ListedChart {
    QString name;
    QString title; // its name when its definition cannot be read
    QString description;
};

QList<ListedChart> listCharts(const PageEnvironment& env) {
    QList<ListedChart> charts;
    for (const QString& name : ChartNames(env)) {
        const std::optional<QByteArray> bytes = ReadChartFile(env, name);
        if (!bytes)
            continue;
        ListedChart listed{name, name, {}};
        try {
            const ChartDefinition chart = ChartDefinition::parse(*bytes, name, env.labels);
            if (!env.mayUse(ObjectKind::Query, chart.query))
                continue;
            listed.title = chart.title;
            listed.description = chart.description;
        } catch (const ChartDefinitionError&) {
            // Listed by name: opening it says what is wrong.
        }
        charts.append(listed);
    }
    return charts;
}

Html renderCharts(const PageEnvironment& env, const QList<ListedChart>& charts) {
    if (charts.isEmpty())
        return "<p>" + env.html("webNoCharts") + "</p>\n";
    Html html = "<table class=\"data charts\"><thead><tr><th>" + env.html("webChartName") +
                "</th><th>" + env.html("webQueryDescription") + "</th></tr></thead><tbody>\n";
    for (const ListedChart& c : charts)
        html += "<tr><td>" +
                Anchor(Link(QStringLiteral("chart")).with(QStringLiteral("name"), c.name), c.title,
                       env.root()) +
                "</td><td>" + Html::text(c.description) + "</td></tr>\n";
    return html + "</tbody></table>\n";
}

} // namespace

LoadedChart LoadChart(const PageEnvironment& env, const QString& name) {
    LoadedChart loaded;
    const std::optional<QByteArray> bytes = ReadChartFile(env, name);
    if (!bytes) {
        loaded.problem = "<p class=\"error\">" + env.html("webChartMissing", name) + "</p>";
        loaded.status = 404;
        return loaded;
    }
    try {
        ChartDefinition chart = ChartDefinition::parse(*bytes, name, env.labels);
        if (!env.mayUse(ObjectKind::Query, chart.query)) {
            loaded.refused = true;
            return loaded;
        }
        loaded.query = env.database.findQuery(chart.query);
        if (!loaded.query || loaded.query->writes())
            throw ChartDefinitionError{env.label("webChartNoQuery", chart.query)};
        loaded.chart = std::move(chart);
    } catch (const ChartDefinitionError& e) {
        loaded.query.reset();
        loaded.problem = invalid(env, name, e.message);
        loaded.status = 500;
    }
    return loaded;
}

Html DrawChart(const PageEnvironment& env, const ChartDefinition& chart, const QueryRun& run,
               const QString& id) {
    try {
        return ChartFigure(env.labels, chart, readRows(env.database, run), id);
    } catch (const DataFailure& failure) {
        return FailureBox(env, failure);
    } catch (const ChartDefinitionError& e) {
        return invalid(env, chart.name, e.message);
    }
}

Response ChartsPage(const PageEnvironment& env) {
    return env.page(env.label("webChartsTitle"), renderCharts(env, listCharts(env)), HELP);
}

Response ChartPage(const PageEnvironment& env) {
    const QString name = env.field(QStringLiteral("name"));
    const LoadedChart loaded = LoadChart(env, name);
    if (loaded.refused)
        return RefusedPage(env);
    if (!loaded.chart)
        return loaded.status == 404 ? NotFoundPage(env, env.label("webChartMissing", name))
                                    : env.page(name, loaded.problem, HELP, loaded.status);
    const ChartDefinition& chart = *loaded.chart;
    const QueryView view = QueryView::fromRequest(env.context, *loaded.query, env.labels);
    Html html;
    if (!chart.description.isEmpty())
        html += "<p class=\"description\">" + Html::text(chart.description) + "</p>\n";
    if (!view.info.parameters.isEmpty())
        html += ParameterForm(env, view,
                              Link(QStringLiteral("chart")).with(QStringLiteral("name"), name),
                              env.html("webShowChart"));
    if (view.submitted && view.errors.isEmpty())
        html += DrawChart(env, chart, view.run, QStringLiteral("chart"));
    return env.page(chart.title, html, HELP);
}

} // namespace webapp
