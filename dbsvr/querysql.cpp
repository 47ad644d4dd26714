#include "dbsvr/querysql.h"

#include "dbsvr/filtersql.h"
#include "dbsvr/requesterror.h"

namespace dbsvr {

namespace {
QString wrapped(const QString& select, const QString& sql) {
    return select + QStringLiteral(" FROM (\n") + InnerSql(sql) + QStringLiteral("\n) AS q");
}
} // namespace

QString InnerSql(const QString& sql) {
    QString inner = sql.trimmed();
    while (inner.endsWith(QLatin1Char(';')))
        inner = inner.chopped(1).trimmed();
    return inner;
}

QString OrderedSql(const QString& sql, const QStringList& columns, const QList<SortKey>& order) {
    if (order.isEmpty())
        Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("An order needs a column."));
    QStringList terms;
    for (const SortKey& key : order) {
        const qsizetype found = columns.count(key.column);
        if (found == 0)
            Fail(ERROR_UNKNOWN_COLUMN, QStringLiteral("The query's result has no column \"") +
                                           key.column + QStringLiteral("\"."));
        if (found > 1)
            Fail(ERROR_INVALID_ARGUMENT, QStringLiteral("The query's result has %1 columns "
                                                        "named \"%2\": it cannot be sorted by it.")
                                             .arg(found)
                                             .arg(key.column));
        terms << QuoteIdentifier(key.column) +
                     (key.descending ? QStringLiteral(" DESC") : QString());
    }
    return wrapped(QStringLiteral("SELECT *"), sql) + QStringLiteral(" ORDER BY ") +
           terms.join(QStringLiteral(", "));
}

QString CountSql(const QString& sql) {
    return wrapped(QStringLiteral("SELECT count(*)"), sql);
}

} // namespace dbsvr
