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

QString LabelSelectList(const QList<LabelSource>& labels) {
    QString list;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        const LabelSource& l = labels[i];
        const QString alias = QStringLiteral("qv_label") + QString::number(i + 1);
        list += QStringLiteral(", (SELECT ") + alias + QLatin1Char('.') + QuoteIdentifier(l.label) +
                QStringLiteral(" FROM ") + QuoteIdentifier(l.table) + QStringLiteral(" AS ") +
                alias + QStringLiteral(" WHERE ") + alias + QLatin1Char('.') +
                QuoteIdentifier(l.key) + QStringLiteral(" = ") + QLatin1String(ROW_ALIAS) +
                QLatin1Char('.') + QuoteIdentifier(l.column) + QStringLiteral(" LIMIT 1)");
    }
    return list;
}

} // namespace dbsvr
