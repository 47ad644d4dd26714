#include "webapp/rendering/numberformat.h"

#include "webapp/rendering/labels.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace webapp {

namespace {

const QRegularExpression
    NUMBER(QStringLiteral("^([-+]?)(\\d*)(?:\\.(\\d*))?(?:[eE]([-+]?\\d+))?$"));

// "1234567" as "1,234,567" with the locale's group separator.
QString grouped(const QString& digits, const QLocale& locale) {
    if (locale.numberOptions() & QLocale::OmitGroupSeparator)
        return digits;
    const QString separator = locale.groupSeparator();
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return out;
}

// Adds one to a string of decimal digits ("199" -> "200", "99" -> "100").
QString incremented(QString digits) {
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != QLatin1Char('9')) {
            digits[i] = QChar(digits[i].unicode() + 1);
            return digits;
        }
        digits[i] = QLatin1Char('0');
    }
    return QLatin1Char('1') + digits;
}

// Moves the decimal point of whole.fraction by exponent places (1.5e3 -> 1500).
void shift(QString& whole, QString& fraction, int exponent) {
    if (exponent > 0) {
        fraction = fraction.leftJustified(exponent, QLatin1Char('0'));
        whole += fraction.left(exponent);
        fraction = fraction.mid(exponent);
    } else if (exponent < 0) {
        whole = whole.rightJustified(-exponent, QLatin1Char('0'));
        fraction = whole.right(-exponent) + fraction;
        whole.chop(-exponent);
    }
    while (whole.size() > 1 && whole.startsWith(QLatin1Char('0')))
        whole.remove(0, 1);
    if (whole.isEmpty())
        whole = QStringLiteral("0");
}

// Whether digits hold no digit but 0 (a scan: a pattern would be compiled on every call).
bool allZeros(const QString& digits) {
    return std::all_of(digits.cbegin(), digits.cend(),
                       [](QChar c) { return c == QLatin1Char('0'); });
}

} // namespace

bool IsNumberText(const QString& text) {
    const QRegularExpressionMatch m = NUMBER.match(text);
    return m.hasMatch() && !(m.captured(2).isEmpty() && m.captured(3).isEmpty());
}

QString FormatNumber(const QString& raw, const QLocale& locale, int scale) {
    const QRegularExpressionMatch m = NUMBER.match(raw);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return raw;
    QString whole = m.captured(2);
    QString fraction = m.captured(3);
    bool ok = true;
    const int exponent = m.captured(4).isEmpty() ? 0 : m.captured(4).toInt(&ok);
    // Beyond this a value is no amount a page shows digit by digit.
    if (!ok || std::abs(exponent) > 400)
        return raw;
    shift(whole, fraction, exponent);
    if (scale >= 0) {
        const bool up = fraction.size() > scale && fraction[scale] >= QLatin1Char('5');
        fraction = fraction.left(scale).leftJustified(scale, QLatin1Char('0'));
        if (up) {
            const QString digits = incremented(whole + fraction);
            whole = digits.left(digits.size() - scale);
            fraction = digits.right(scale);
        }
    }
    const bool zero = allZeros(whole) && allZeros(fraction);
    QString out = m.captured(1) == QLatin1String("-") && !zero ? locale.negativeSign() : QString();
    out += grouped(whole, locale);
    if (!fraction.isEmpty())
        out += locale.decimalPoint() + fraction;
    return out;
}

std::optional<NumberStyle> NumberStyleOfType(const QString& declaredType) {
    static const QRegularExpression numeric(
        QStringLiteral(
            "\\b(?:(TINYINT|SMALLINT|MEDIUMINT|BIGINT|INT[248]?|INTEGER|SERIAL[48]?|"
            "BIGSERIAL|SMALLSERIAL)|(REAL|FLOAT[48]?|DOUBLE(?: PRECISION)?)|"
            "(NUMERIC|DECIMAL|NUMBER))\\b(?:\\s*\\(\\s*\\d+\\s*(?:,\\s*(\\d+)\\s*)?\\))?"),
        QRegularExpression::CaseInsensitiveOption);
    const QString type = declaredType.simplified();
    if (type.isEmpty())
        return std::nullopt;
    const QRegularExpressionMatch m = numeric.match(type);
    if (!m.hasMatch())
        return NumberStyle{};
    NumberStyle style{true};
    // An integer column shows what it holds (SQLite lets it hold 2.5 too).
    if (m.captured(1).isEmpty() && !m.captured(4).isEmpty())
        style.scale = m.captured(4).toInt();
    return style;
}

QList<std::optional<NumberStyle>> ColumnNumberStyles(const TableSchema& schema,
                                                     const QStringList& columns) {
    QList<std::optional<NumberStyle>> styles;
    for (const QString& name : columns) {
        const auto column = std::find_if(schema.columns.begin(), schema.columns.end(),
                                         [&name](const ColumnInfo& c) { return c.name == name; });
        std::optional<NumberStyle> style;
        if (column != schema.columns.end())
            style = NumberStyleOfType(column->type);
        if (style) {
            style->identifier = column->pk > 0;
            for (const KeyReference& fk : schema.foreignKeys)
                for (const auto& pair : fk.columns)
                    style->identifier = style->identifier || pair.first == name;
        }
        styles.append(style);
    }
    return styles;
}

NumberStyle NumberStyleOfValues(const RowSet& rows, qsizetype column) {
    bool any = false;
    for (const QList<Cell>& row : rows.rows) {
        if (column >= row.size() || row[column].isNull)
            continue;
        if (row[column].isBlob || !IsNumberText(row[column].text))
            return {};
        any = true;
    }
    return NumberStyle{any};
}

QLocale NumberLocale(const Labels& labels) {
    const QString code = labels.languageCode();
    return code.isEmpty() ? QLocale(QLocale::English) : QLocale(code);
}

} // namespace webapp
