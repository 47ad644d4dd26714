#pragma once

#include "webapp/forms/formdefinition.h"
#include "webapp/pageenvironment.h"

#include <QHash>

namespace webapp {

// Names of a form's fields in a post: the routing fields page=form and name=<form>, the
// nonce and token, and f.<field> per field.
inline const QString FORM_FIELD_PREFIX = QStringLiteral("f.");
inline const QString FORM_NONCE = QStringLiteral("formnonce");
inline const QString FORM_TOKEN = QStringLiteral("formtoken");

// One form as a user filled it in.
struct FormEntry {
    FormDefinition form;
    QHash<QString, QList<FieldChoice>> choices; // field -> what it offers
    QHash<QString, QString> values;             // field -> value as entered
    QHash<QString, QString> errors;             // field -> message
    QString nonce;
};

// Which choices read from queries LoadChoices adds to an entry.
enum class Choices {
    Restricted, // those a value must be one of: what validating a post needs
    All         // all: what showing the form needs
};

// Reads the choices of the entry's fields that do not have theirs yet. Raises
// FormDefinitionError when a query lacks the columns the form names.
void LoadChoices(const PageEnvironment& env, FormEntry& entry, Choices which);

// The entry as an HTML form that posts it, with its nonce and token, its values and the
// messages about them; the choices it has are offered.
Html FormEntryHtml(const PageEnvironment& env, const FormEntry& entry);

} // namespace webapp
