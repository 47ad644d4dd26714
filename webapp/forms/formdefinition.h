#pragma once

#include "webapp/forms/valuechecks.h"

#include <QList>
#include <QPair>
#include <QString>
#include <optional>

namespace webapp {

class Labels;

struct FieldChoice {
    QString value;
    QString label;
};

// One entry field of a form (see README, "Forms").
struct FormField {
    QString name;
    QString type = QStringLiteral("text"); // text integer real email date choice multiline
    QString label;
    bool required = false;
    bool free = false; // choice: other values than the offered ones are allowed
    std::optional<qsizetype> minLength;
    std::optional<qsizetype> maxLength;
    QString min; // integer, real, date
    QString max;
    QString pattern; // the whole value must match
    int rows = 4;    // multiline
    // Choices: fixed, or read from a named query (its value and label columns).
    QList<FieldChoice> choices;
    QString choicesQuery;
    QString choicesValue;
    QString choicesLabel;

    bool multiline() const { return type == QLatin1String("multiline"); }
};

// A form of the application folder's "forms" folder: <name>.xml.
struct FormDefinition {
    // Longest value a field takes when its definition sets no maxlength.
    static constexpr qsizetype DEFAULT_MAX_LENGTH = MAX_VALUE_LENGTH;

    QString name;
    QString title;
    QString description;
    QString savedText;
    QString writeQuery;
    QList<QPair<QString, QString>> parameters; // (query parameter, field)
    QList<FormField> fields;

    const FormField* field(const QString& fieldName) const;

    // Reads and checks the bytes of a form file; raises FormDefinitionError naming what is
    // wrong. Texts with a label attribute come from labels, others are the element's text.
    static FormDefinition parse(const QByteArray& bytes, const QString& name, const Labels& labels);
};

struct FormDefinitionError {
    QString message;
};

} // namespace webapp
