#include "webapp/rendering/workbookcells.h"

#include "webapp/forms/rowform.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <optional>

namespace webapp {

namespace {

// Whole numbers up to this are exact in a double.
constexpr double EXACT_WHOLE = 9007199254740992.0; // 2^53
// Digits a double keeps for any decimal.
constexpr int EXACT_DIGITS = 15;

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// A plain decimal as databases print them (no blanks, no "+", no leading zeros but one, no
// exponent), that a double holds exactly enough to print it back.
std::optional<double> exactNumber(const QString& text) {
    static const QRegularExpression NUMBER(
        QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][-+]?[0-9]{1,3})?$"));
    if (!NUMBER.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    int digits = 0;
    bool leading = true;
    bool whole = true;
    for (const QChar c : text) {
        if (c == QLatin1Char('e') || c == QLatin1Char('E'))
            break;
        if (c == QLatin1Char('.'))
            whole = false;
        if (!isDigit(c) || (leading && c == QLatin1Char('0')))
            continue;
        leading = false;
        ++digits;
    }
    if (whole && !text.contains(QLatin1Char('e'), Qt::CaseInsensitive)) {
        // Compared as a whole number: as a double, 2^53 + 1 would pass for 2^53.
        const qint64 n = text.toLongLong(&ok);
        return ok && n <= qint64(EXACT_WHOLE) && n >= -qint64(EXACT_WHOLE) ? std::optional(value)
                                                                           : std::nullopt;
    }
    return digits <= EXACT_DIGITS ? std::optional(value) : std::nullopt;
}

std::optional<CellDate> dateOf(const QString& text, bool withTime) {
    static const QRegularExpression DATE(QStringLiteral(
        "^(\\d{4})-(\\d\\d)-(\\d\\d)(?:[ T](\\d\\d):(\\d\\d)(?::(\\d\\d(?:\\.\\d+)?))?)?$"));
    const QRegularExpressionMatch m = DATE.match(text);
    if (!m.hasMatch() || (!withTime && m.hasCaptured(4)))
        return std::nullopt;
    CellDate d{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
               m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toDouble(),
               m.hasCaptured(4)};
    if (d.year < 1900 || d.year > 9999 || !QDate::isValid(d.year, d.month, d.day) || d.hour > 23 ||
        d.minute > 59 || d.second >= 60)
        return std::nullopt;
    return d;
}

std::optional<bool> booleanOf(const QString& text) {
    const QString t = text.toLower();
    if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("f") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

template <typename T> CellValue orText(const std::optional<T>& value, const QString& text) {
    return value ? CellValue(*value) : CellValue(text);
}

// The characters the writer does not escape but XML cannot carry, and a text that would read
// as an escape, which the escape of "_" (_x005F_) keeps as it is.
QString escaped(const QString& text) {
    static const QRegularExpression LOOKS_ESCAPED(QStringLiteral("_(?=x[0-9A-Fa-f]{4}_)"));
    // Most texts hold none of it: they are kept as they are, without a copy.
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == QLatin1Char('_') || c.unicode() == 0 || c.unicode() >= 0xFFFE;
    });
    if (plain)
        return text;
    QString out = text;
    out.replace(LOOKS_ESCAPED, QStringLiteral("_x005F_"));
    out.replace(QChar(0), QStringLiteral("_x0000_"));
    out.replace(QChar(0xFFFE), QStringLiteral("_xFFFE_"));
    out.replace(QChar(0xFFFF), QStringLiteral("_xFFFF_"));
    return out;
}

qsizetype codePoints(const QString& text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++n)
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    return n;
}

} // namespace

CellKind CellKindOfType(const QString& type) {
    if (type.trimmed().isEmpty())
        return CellKind::Unknown;
    switch (InputOfType(type)) {
    case RowInput::Number:
        return CellKind::Number;
    case RowInput::Date:
        return CellKind::Date;
    case RowInput::DateTime:
        return CellKind::DateTime;
    case RowInput::Checkbox:
        return CellKind::Boolean;
    default:
        return CellKind::Text;
    }
}

CellValue CellValueOf(CellKind kind, const QString& text) {
    switch (kind) {
    case CellKind::Unknown:
        // A query's column: what reads exactly as a number or an ISO date is one.
        if (const std::optional<double> number = exactNumber(text))
            return *number;
        return orText(dateOf(text, true), text);
    case CellKind::Number:
        return orText(exactNumber(text), text);
    case CellKind::Date:
        return orText(dateOf(text, false), text);
    case CellKind::DateTime:
        return orText(dateOf(text, true), text);
    case CellKind::Boolean:
        return orText(booleanOf(text), text);
    case CellKind::Text:
        break;
    }
    return text;
}

QByteArray CellText(const QString& text, bool* cut) {
    QString out = escaped(text);
    const bool tooLong = out.size() > MAX_CELL_TEXT && codePoints(out) > MAX_CELL_TEXT;
    if (cut)
        *cut = tooLong;
    if (!tooLong)
        return out.toUtf8();
    // The longest beginning of the text whose escaped form fits: it is cut, never an escape.
    qsizetype fits = 0, over = text.size();
    while (over - fits > 1) {
        const qsizetype middle = fits + (over - fits) / 2;
        (codePoints(escaped(text.left(middle))) <= MAX_CELL_TEXT ? fits : over) = middle;
    }
    // Never between the halves of a pair.
    if (fits > 0 && text[fits - 1].isHighSurrogate())
        --fits;
    return escaped(text.left(fits)).toUtf8();
}

} // namespace webapp
