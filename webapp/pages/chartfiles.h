#pragma once

#include "webapp/pageenvironment.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <optional>

namespace webapp {

// The names of the charts in the application folder's "charts" folder (c for c.xml), in
// name order, whoever may use them.
QStringList ChartNames(const PageEnvironment& env);
// The chart file of name, read as pages are; nullopt for none (or a name that is not plain).
std::optional<QByteArray> ReadChartFile(const PageEnvironment& env, const QString& name);
// The queries the application's charts read; a chart file that cannot be read gives none.
QSet<QString> ChartQueries(const PageEnvironment& env);

} // namespace webapp
