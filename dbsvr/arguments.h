#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <variant>

namespace dbsvr {

struct NamedQuery;

// A value as a client sent it for a named query's parameter.
struct Argument {
    QString name; // without a ':', '@' or '$' prefix
    QString value;
    bool isNull = false;
};

// A value ready to bind: NULL, text, integer or real.
using BoundValue = std::variant<std::monostate, QString, int64_t, double>;

// The name a statement or a client uses, without its ':', '@' or '$' prefix.
QString WithoutPrefix(const QString& name);

// Matches the statement's parameters (their names in placeholder order, with
// or without prefix) with the client's arguments and converts each value to
// the type the query declares (text when it declares none). Raises
// RequestError: MissingParameter, UnknownParameter (an argument the statement
// does not use), InvalidArgument (a value of the wrong type), DatabaseError
// (an unnamed placeholder, a fault of the configuration).
QList<BoundValue> BindArguments(const NamedQuery& query, const QStringList& parameterNames,
                                const QList<Argument>& arguments);

// Converts text to a typed value: "integer", "real", anything else text.
// False when the text does not fit the type.
bool ConvertValue(const QString& text, const QString& type, BoundValue& out);

} // namespace dbsvr
