#include "webapp/rendering/csv.h"

#include "webapp/forms/valuechecks.h"

namespace webapp {

QString CsvField(const QString& text) {
    QString field = text;
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!field.isEmpty() && formulaStarts.contains(field.at(0)) && !ParseReal(field))
        field.prepend(QLatin1Char('\''));
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
        field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n'))) {
        field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field;
}

QByteArray CsvLine(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields)
        out.append(CsvField(f));
    return out.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray CsvRows(const QList<QList<Cell>>& rows) {
    QByteArray csv;
    for (const QList<Cell>& row : rows) {
        QStringList fields;
        for (const Cell& cell : row)
            fields.append(cell.isNull ? QString() : cell.text);
        csv += CsvLine(fields);
    }
    return csv;
}

} // namespace webapp
