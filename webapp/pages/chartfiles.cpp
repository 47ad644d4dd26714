#include "webapp/pages/chartfiles.h"

#include "webapp/charts/chartdefinition.h"
#include "webapp/pages/definitionfiles.h"

namespace webapp {

namespace {
const QString CHARTS = QStringLiteral("charts");
} // namespace

QStringList ChartNames(const PageEnvironment& env) {
    return DefinitionNames(env, CHARTS);
}

std::optional<QByteArray> ReadChartFile(const PageEnvironment& env, const QString& name) {
    return ReadDefinitionFile(env, CHARTS, name);
}

QSet<QString> ChartQueries(const PageEnvironment& env) {
    QSet<QString> queries;
    for (const QString& name : ChartNames(env))
        if (const std::optional<QByteArray> bytes = ReadChartFile(env, name))
            if (const QString query = ChartDefinition::queryOf(*bytes); !query.isEmpty())
                queries.insert(query);
    return queries;
}

} // namespace webapp
