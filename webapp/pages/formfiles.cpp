#include "webapp/pages/formfiles.h"

#include "webapp/forms/formdefinition.h"
#include "webapp/pages/definitionfiles.h"

namespace webapp {

namespace {
const QString FORMS = QStringLiteral("forms");
} // namespace

QStringList FormNames(const PageEnvironment& env) {
    return DefinitionNames(env, FORMS);
}

std::optional<QByteArray> ReadFormFile(const PageEnvironment& env, const QString& name) {
    return ReadDefinitionFile(env, FORMS, name);
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
