#include "webapp/forms/rowform.h"

#include <QRegularExpression>

namespace webapp {

namespace {

// The scale of NUMERIC(p,s) / DECIMAL(p,s) as a step ("0.01"); "any" without one.
QString stepOfScale(const QString& type) {
    static const QRegularExpression SCALE(QStringLiteral("\\(\\s*\\d+\\s*,\\s*(\\d+)\\s*\\)"));
    const QRegularExpressionMatch m = SCALE.match(type);
    if (!m.hasMatch())
        return QStringLiteral("any");
    const int scale = m.captured(1).toInt();
    if (scale == 0)
        return QStringLiteral("1");
    return QStringLiteral("0.") + QString(scale - 1, QLatin1Char('0')) + QLatin1Char('1');
}

const KeyReference* singleColumnKey(const TableSchema& table, const QString& column) {
    for (const KeyReference& fk : table.foreignKeys)
        if (fk.columns.size() == 1 && fk.columns.first().first == column)
            return &fk;
    return nullptr;
}

} // namespace

RowInput InputOfType(const QString& declared, QString* step) {
    const QString type = declared.trimmed().toLower();
    auto setStep = [step](const QString& s) {
        if (step)
            *step = s;
    };
    if (type.contains(QLatin1String("blob")) || type == QLatin1String("bytea"))
        return RowInput::Shown;
    if (type == QLatin1String("boolean"))
        return RowInput::Checkbox;
    if (type.startsWith(QLatin1String("timestamp")) || type.startsWith(QLatin1String("datetime")))
        return RowInput::DateTime;
    if (type == QLatin1String("date"))
        return RowInput::Date;
    // SQLite's rules of affinity: a type with INT is a whole number.
    if (type.contains(QLatin1String("int"))) {
        setStep(QStringLiteral("1"));
        return RowInput::Number;
    }
    if (type.startsWith(QLatin1String("numeric")) || type.startsWith(QLatin1String("decimal"))) {
        setStep(stepOfScale(type));
        return RowInput::Number;
    }
    if (type.contains(QLatin1String("real")) || type.contains(QLatin1String("floa")) ||
        type.contains(QLatin1String("doub"))) {
        setStep(QStringLiteral("any"));
        return RowInput::Number;
    }
    if (type.contains(QLatin1Char('(')))
        return RowInput::Text; // a declared length
    if (type.contains(QLatin1String("text")) || type.contains(QLatin1String("clob")))
        return RowInput::Multiline;
    return RowInput::Text;
}

QList<RowFormField> RowFormFields(const TableSchema& table, bool inserting) {
    QList<RowFormField> fields;
    for (const ColumnInfo& c : table.columns) {
        if (inserting && c.autoIncrement)
            continue;
        RowFormField f;
        f.column = c.name;
        f.key = c.pk > 0;
        f.input = !inserting && f.key ? RowInput::Key : InputOfType(c.type, &f.step);
        f.check.name = c.name;
        f.check.label = c.name;
        f.check.required = c.notNull && !c.defaultValue && !c.autoIncrement &&
                           f.input != RowInput::Checkbox && IsEditable(f);
        if (c.length)
            f.check.maxLength = *c.length;
        switch (f.input) {
        case RowInput::Number:
            f.check.type =
                f.step == QLatin1String("1") ? QStringLiteral("integer") : QStringLiteral("real");
            break;
        case RowInput::Date:
            f.check.type = QStringLiteral("date");
            break;
        case RowInput::Multiline:
            f.check.type = QStringLiteral("multiline");
            break;
        default:
            break;
        }
        if (const KeyReference* fk = singleColumnKey(table, c.name)) {
            f.reference = fk->table;
            f.referenceColumn = fk->columns.first().second;
        }
        fields.append(f);
    }
    return fields;
}

bool IsEditable(const RowFormField& field) {
    return field.input != RowInput::Shown && field.input != RowInput::Key;
}

QString DateTimeInputValue(const QString& stored) {
    static const QRegularExpression DATE_TIME(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d)[ T](\\d\\d:\\d\\d(:\\d\\d(\\.\\d+)?)?)$"));
    const QRegularExpressionMatch m = DATE_TIME.match(stored);
    return m.hasMatch() ? m.captured(1) + QLatin1Char('T') + m.captured(2) : stored;
}

QString DateTimeStoredValue(const QString& input) {
    static const QRegularExpression INPUT(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d)T(\\d\\d:\\d\\d)$"));
    const QRegularExpressionMatch m = INPUT.match(input);
    if (m.hasMatch())
        return m.captured(1) + QLatin1Char(' ') + m.captured(2) + QStringLiteral(":00");
    QString stored = input;
    return stored.replace(QLatin1Char('T'), QLatin1Char(' '));
}

} // namespace webapp
