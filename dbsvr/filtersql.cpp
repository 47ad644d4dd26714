#include "dbsvr/filtersql.h"

#include "dbsvr/requesterror.h"

namespace dbsvr {

QString QuoteIdentifier(const QString& name) {
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

const ColumnDescription& FindColumn(const QList<ColumnDescription>& columns, const QString& table,
                                    const QString& name) {
    for (const ColumnDescription& c : columns)
        if (c.name == name)
            return c;
    Fail(ERROR_UNKNOWN_COLUMN, QStringLiteral("The table ") + table +
                                   QStringLiteral(" has no column \"") + name +
                                   QStringLiteral("\"."));
}

namespace {
QString comparison(FilterOp op, const SqlDialect& dialect) {
    switch (op) {
    case FilterOp::Equal:
        return QStringLiteral(" = ");
    case FilterOp::NotEqual:
        return QLatin1Char(' ') + dialect.notEqual + QLatin1Char(' ');
    case FilterOp::Less:
        return QStringLiteral(" < ");
    case FilterOp::LessOrEqual:
        return QStringLiteral(" <= ");
    case FilterOp::Greater:
        return QStringLiteral(" > ");
    case FilterOp::GreaterOrEqual:
        return QStringLiteral(" >= ");
    case FilterOp::Contains:
        break;
    }
    return {};
}
} // namespace

WhereClause BuildWhere(const QString& table, const QList<Filter>& filters,
                       const QList<ColumnDescription>& columns, const SqlDialect& dialect,
                       int firstIndex) {
    WhereClause where;
    QStringList conditions;
    for (const Filter& f : filters) {
        const ColumnDescription& column = FindColumn(columns, table, f.column);
        const QString name = QuoteIdentifier(column.name);
        if (f.isNull) {
            conditions << name + (f.op == FilterOp::Equal ? QStringLiteral(" IS NULL")
                                                          : QStringLiteral(" IS NOT NULL"));
            continue;
        }
        const QString placeholder = dialect.placeholder(firstIndex + int(where.values.size()));
        if (f.op == FilterOp::Contains) {
            conditions << dialect.contains(name, placeholder);
            where.values << BoundValue(f.value);
        } else {
            conditions << name + comparison(f.op, dialect) + placeholder;
            where.values << dialect.comparisonValue(f, column);
        }
    }
    if (!conditions.isEmpty())
        where.sql = QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    return where;
}

} // namespace dbsvr
