#include "webapp/pages/formfiles.h"

#include "webapp/forms/formdefinition.h"
#include "webapp/pages/applicationpages.h"

#include <QDir>

namespace webapp {

namespace {
QString formsFolder(const PageEnvironment& env) {
    return env.context.applicationSubfolder(QStringLiteral("forms"));
}
} // namespace

QStringList FormNames(const PageEnvironment& env) {
    const QString folder = formsFolder(env);
    if (folder.isEmpty())
        return {};
    QStringList names;
    for (const QString& file :
         QDir(folder).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        names << file.chopped(4);
    return names;
}

std::optional<QByteArray> ReadFormFile(const PageEnvironment& env, const QString& name) {
    const QString folder = formsFolder(env);
    if (folder.isEmpty() || !IsPlainFileName(name))
        return std::nullopt;
    return ReadApplicationFile(env, folder, name + QStringLiteral(".xml"));
}

QSet<QString> FormChoiceQueries(const PageEnvironment& env) {
    QSet<QString> queries;
    for (const QString& name : FormNames(env)) {
        const std::optional<QByteArray> bytes = ReadFormFile(env, name);
        if (!bytes)
            continue;
        try {
            for (const FormField& f : FormDefinition::parse(*bytes, name, env.labels).fields)
                if (!f.choicesQuery.isEmpty())
                    queries.insert(f.choicesQuery);
        } catch (const FormDefinitionError&) {
            // A form that cannot be read offers no choices.
        }
    }
    return queries;
}

} // namespace webapp
