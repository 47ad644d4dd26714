#include "dbsvr/arguments.h"

#include "dbsvr/config.h"
#include "dbsvr/requesterror.h"

namespace dbsvr {

QString WithoutPrefix(const QString& name) {
    if (!name.isEmpty() && QStringLiteral(":@$").contains(name[0]))
        return name.mid(1);
    return name;
}

bool ConvertValue(const QString& text, const QString& type, BoundValue& out) {
    bool ok = true;
    if (type == QLatin1String("integer")) {
        const qlonglong value = text.trimmed().toLongLong(&ok);
        out = int64_t(value);
    } else if (type == QLatin1String("real")) {
        out = text.trimmed().toDouble(&ok);
    } else {
        out = text;
    }
    return ok;
}

QList<BoundValue> BindArguments(const NamedQuery& query, const QStringList& parameterNames,
                                const QList<Argument>& arguments) {
    QList<bool> used(arguments.size(), false);
    QList<BoundValue> values;
    for (const QString& raw : parameterNames) {
        // "?" and "?3" cannot be matched to a name: a fault of the configuration.
        if (raw.isEmpty() || raw.startsWith(QLatin1Char('?')))
            Fail(ERROR_DATABASE,
                 QStringLiteral("The query ") + query.name +
                     QStringLiteral(" uses an unnamed parameter; name it, as in :id."));
        const QString name = WithoutPrefix(raw);
        qsizetype at = 0;
        while (at < arguments.size() && arguments[at].name != name)
            ++at;
        if (at == arguments.size())
            Fail(ERROR_MISSING_PARAMETER, QStringLiteral("The query ") + query.name +
                                              QStringLiteral(" needs the parameter ") + name +
                                              QLatin1Char('.'));
        used[at] = true;
        const Argument& argument = arguments[at];
        const QueryParameter* declared = query.parameter(name);
        const QString type = declared ? declared->type : QStringLiteral("text");
        BoundValue value;
        if (!argument.isNull && !ConvertValue(argument.value, type, value))
            Fail(ERROR_INVALID_ARGUMENT,
                 QStringLiteral("The parameter ") + name + QStringLiteral(" must be of the type ") +
                     type + QStringLiteral(", not ") + argument.value + QLatin1Char('.'));
        values << value;
    }
    for (qsizetype i = 0; i < arguments.size(); ++i)
        if (!used[i])
            Fail(ERROR_UNKNOWN_PARAMETER, QStringLiteral("The query ") + query.name +
                                              QStringLiteral(" has no parameter ") +
                                              arguments[i].name + QLatin1Char('.'));
    return values;
}

} // namespace dbsvr
