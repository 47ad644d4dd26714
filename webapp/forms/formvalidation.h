#pragma once

#include "webapp/forms/formdefinition.h"

#include <QHash>

namespace webapp {

class Labels;

// The message for a value of field that breaks one of its rules, or "" when the value is
// fine. choices are the values the field offers (those of a query already read).
QString CheckFieldValue(const FormField& field, const QString& value,
                        const QList<FieldChoice>& choices, const Labels& labels);

} // namespace webapp
