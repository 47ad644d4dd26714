#include "dbsvr/labelsql.h"

#include "dbsvr/filtersql.h"

namespace dbsvr {

QString RowAlias(const TableRead& read) {
    return read.labels.isEmpty() ? QString() : QStringLiteral(" AS ") + QLatin1String(ROW_ALIAS);
}

QString OrderColumn(const TableRead& read, const QString& column) {
    return (read.labels.isEmpty() ? QString() : QLatin1String(ROW_ALIAS) + QLatin1Char('.')) +
           QuoteIdentifier(column);
}

QString LabelSubquery(const LabelSource& label, const QString& alias, const QString& rowAlias) {
    return QStringLiteral("(SELECT ") + alias + QLatin1Char('.') + QuoteIdentifier(label.label) +
           QStringLiteral(" FROM ") + QuoteIdentifier(label.table) + QStringLiteral(" AS ") +
           alias + QStringLiteral(" WHERE ") + alias + QLatin1Char('.') +
           QuoteIdentifier(label.key) + QStringLiteral(" = ") + rowAlias + QLatin1Char('.') +
           QuoteIdentifier(label.column) + QStringLiteral(" LIMIT 1)");
}

QString LabelSelectList(const QList<LabelSource>& labels) {
    QString list;
    for (qsizetype i = 0; i < labels.size(); ++i)
        list += QStringLiteral(", ") +
                LabelSubquery(labels[i], QStringLiteral("qv_label") + QString::number(i + 1),
                              QLatin1String(ROW_ALIAS));
    return list;
}

} // namespace dbsvr
