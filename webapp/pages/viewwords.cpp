#include "webapp/pages/viewwords.h"

#include "webapp/pages/tablecontrols.h"
#include "webapp/rendering/numberformat.h"

namespace webapp {

namespace {

QString quoted(const PageEnvironment& env, const QString& value) {
    return NumberLocale(env.labels).quoteString(value);
}

// "customer_id equals "3"; name is empty", or that there are none.
QString filtersInWords(const PageEnvironment& env, const TableView& view) {
    if (view.read.filters.isEmpty())
        return env.label("webPrintNoFilters");
    QStringList filters;
    for (const Filter& f : view.read.filters) {
        QString words = f.column + QLatin1Char(' ') + OperatorLabel(env, f.op);
        if (!OperatorTakesNoValue(f.op))
            words += QLatin1Char(' ') + quoted(env, f.value);
        filters.append(words);
    }
    return env.label("webPrintFilters", filters.join(QStringLiteral("; ")));
}

// "Sorted by price, descending; name.", or nothing when the view has no order.
QString sortInWords(const PageEnvironment& env, const TableView& view) {
    QStringList keys;
    for (const SortKey& key : view.read.orderBy)
        keys.append(key.descending ? env.label("webPrintKeyDescending", key.column) : key.column);
    return keys.isEmpty() ? QString() : env.label("webPrintSort", keys.join(QStringLiteral("; ")));
}

} // namespace

QStringList TableViewWords(const PageEnvironment& env, const TableView& view) {
    QStringList words;
    if (!view.read.search.isEmpty())
        words.append(env.label("webPrintSearch", quoted(env, view.read.search)));
    words.append(filtersInWords(env, view));
    if (const QString sort = sortInWords(env, view); !sort.isEmpty())
        words.append(sort);
    return words;
}

QStringList QueryViewWords(const PageEnvironment& env, const QueryView& view) {
    QStringList parameters;
    for (const QueryParameter& p : view.info.parameters)
        parameters.append(p.name + QStringLiteral(" = ") + quoted(env, view.entered.value(p.name)));
    if (parameters.isEmpty())
        return {};
    return {env.label("webPrintParameters", parameters.join(QStringLiteral("; ")))};
}

} // namespace webapp
