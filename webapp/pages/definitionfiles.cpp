#include "webapp/pages/definitionfiles.h"

#include "webapp/pages/applicationpages.h"

#include <QDir>

namespace webapp {

QStringList DefinitionNames(const PageEnvironment& env, const QString& subfolder) {
    const QString folder = env.context.applicationSubfolder(subfolder);
    if (folder.isEmpty())
        return {};
    QStringList names;
    for (const QString& file :
         QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        names << file.chopped(4);
    return names;
}

std::optional<QByteArray> ReadDefinitionFile(const PageEnvironment& env, const QString& subfolder,
                                             const QString& name) {
    const QString folder = env.context.applicationSubfolder(subfolder);
    if (folder.isEmpty() || !IsPlainFileName(name))
        return std::nullopt;
    return ReadApplicationFile(env, folder, name + QStringLiteral(".xml"));
}

} // namespace webapp
