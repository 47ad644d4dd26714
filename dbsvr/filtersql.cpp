#include "dbsvr/filtersql.h"

#include "common/xml.h"
#include "dbsvr/labelsql.h"
#include "dbsvr/requesterror.h"

#include <pugixml.hpp>

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <cmath>

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
    case FilterOp::Empty:
    case FilterOp::NotEmpty:
        break;
    }
    return {};
}

bool isText(ColumnKind kind) {
    return kind == ColumnKind::Text || kind == ColumnKind::Untyped;
}

// NULL, or '' where the column holds text.
QString emptiness(const QString& name, bool empty, ColumnKind kind) {
    if (!isText(kind))
        return name + (empty ? QStringLiteral(" IS NULL") : QStringLiteral(" IS NOT NULL"));
    return empty ? QStringLiteral("(") + name + QStringLiteral(" IS NULL OR ") + name +
                       QStringLiteral(" = '')")
                 : QStringLiteral("(") + name + QStringLiteral(" IS NOT NULL AND ") + name +
                       QStringLiteral(" <> '')");
}

// "2024-05-01", with a time "12:00", "12:00:30" or "12:00:30.5" after a blank or T, and a zone
// "Z", "+02", "+0200" or "+02:00" after that.
bool isDate(const QString& text) {
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.\\d{1,9})?)?"
        "(?:Z|[+-]\\d{2}(?::?\\d{2})?)?)?$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch() ||
        !QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()).isValid())
        return false;
    return m.captured(4).isEmpty() ||
           QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt()).isValid();
}

// Why the value does not fit the column's kind; "" when it does.
QString misfit(const QString& value, ColumnKind kind) {
    bool ok = false;
    switch (kind) {
    case ColumnKind::Integer:
        value.trimmed().toLongLong(&ok);
        return ok ? QString() : QStringLiteral("a whole number");
    case ColumnKind::Number: {
        const double number = value.trimmed().toDouble(&ok);
        return ok && std::isfinite(number) ? QString() : QStringLiteral("a number");
    }
    case ColumnKind::Date:
        return isDate(value) ? QString() : QStringLiteral("a date (YYYY-MM-DD)");
    default:
        return {};
    }
}

// Refuses a comparison whose value the column cannot hold, naming the filter (from 1).
void checkValue(const Filter& f, int index, ColumnKind kind) {
    if (f.op == FilterOp::Contains)
        return; // a number's digits may be looked for as text
    const QString wanted = misfit(f.value, kind);
    if (wanted.isEmpty())
        return;
    throw RequestError{
        QString::fromLatin1(ERROR_INVALID_ARGUMENT),
        QStringLiteral("Filter %1: the column %2 holds %3, which \"%4\" is not.")
            .arg(index)
            .arg(f.column, wanted, f.value),
        [index, column = f.column](pugi::xml_node root) {
            pugi::xml_node filter = root.append_child(dataserver::protocol::FILTER);
            filter.append_attribute(dataserver::protocol::ATTRIBUTE_INDEX).set_value(index);
            filter.append_attribute(dataserver::protocol::ATTRIBUTE_COLUMN)
                .set_value(common::ToUtf8(column).c_str());
        }};
}
} // namespace

WhereClause BuildWhere(const QString& table, const QList<Filter>& filters,
                       const QList<ColumnDescription>& columns, const SqlDialect& dialect,
                       int firstIndex) {
    WhereClause where;
    QStringList conditions;
    int index = 0;
    for (const Filter& f : filters) {
        ++index;
        const ColumnDescription& column = FindColumn(columns, table, f.column);
        const QString name = QuoteIdentifier(column.name);
        const ColumnKind kind = dialect.kind(column);
        if (f.op == FilterOp::Empty || f.op == FilterOp::NotEmpty) {
            conditions << emptiness(name, f.op == FilterOp::Empty, kind);
            continue;
        }
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
            checkValue(f, index, kind);
            conditions << name + comparison(f.op, dialect) + placeholder;
            where.values << dialect.comparisonValue(f, column);
        }
    }
    if (!conditions.isEmpty())
        where.sql = QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    return where;
}

QString OrderSql(const TableRead& read, const QList<SortKey>& order,
                 const QList<ColumnDescription>& columns) {
    QStringList keys;
    for (const SortKey& key : order)
        keys << OrderColumn(read, FindColumn(columns, read.table, key.column).name) +
                    (key.descending ? QStringLiteral(" DESC") : QString());
    return keys.isEmpty() ? QString()
                          : QStringLiteral(" ORDER BY ") + keys.join(QStringLiteral(", "));
}

} // namespace dbsvr
