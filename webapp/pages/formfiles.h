#pragma once

#include "webapp/pageenvironment.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>
#include <optional>

namespace webapp {

// The names of the forms in the application folder's "forms" folder (f for f.xml), in name
// order, whoever may use them.
QStringList FormNames(const PageEnvironment& env);
// The form file of name (name.xml in forms/), read as pages are: a link that leads out of
// the folder is not followed; nullopt for none.
std::optional<QByteArray> ReadFormFile(const PageEnvironment& env, const QString& name);
// The queries that the application's forms read their choices from; a form that cannot be
// read gives none.
QSet<QString> FormChoiceQueries(const PageEnvironment& env);

} // namespace webapp
