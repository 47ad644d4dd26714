#pragma once

#include "webapp/pageenvironment.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace webapp {

// The names of the XML definitions in a folder of the application folder ("forms",
// "charts"): d for d.xml, in name order.
QStringList DefinitionNames(const PageEnvironment& env, const QString& subfolder);
// The definition file of name (name.xml in subfolder), read as pages are: a name that is not
// a plain file name, or a link that leads out of the folder, gives nullopt as no file does.
std::optional<QByteArray> ReadDefinitionFile(const PageEnvironment& env, const QString& subfolder,
                                             const QString& name);

} // namespace webapp
