#include "webapp/forms/valuechecks.h"

#include <QDate>
#include <QRegularExpression>
#include <cmath>

namespace webapp {

std::optional<qint64> ParseInteger(const QString& text) {
    static const QRegularExpression integer(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    bool ok = false;
    const qint64 n = t.toLongLong(&ok);
    if (!ok || !integer.match(t).hasMatch())
        return std::nullopt;
    return n;
}

std::optional<double> ParseReal(const QString& text) {
    static const QRegularExpression real(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString t = text.trimmed();
    bool ok = false;
    const double d = t.toDouble(&ok);
    if (!ok || !std::isfinite(d) || !real.match(t).hasMatch())
        return std::nullopt;
    return d;
}

bool IsEmailAddress(const QString& text) {
    static const QRegularExpression email(QStringLiteral("^[^@\\s]+@[^@\\s.]+(\\.[^@\\s.]+)+$"));
    return email.match(text).hasMatch();
}

bool IsIsoDate(const QString& text) {
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    return shape.match(text).hasMatch() && QDate::fromString(text, Qt::ISODate).isValid();
}

bool HasUnsendableCharacters(const QString& text, bool lineBreaks) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF)
            return true;
        const bool lineBreak = u == '\n' || u == '\r' || u == '\t';
        if ((u < 0x20 || u == 0x7F) && !(lineBreaks && lineBreak))
            return true;
    }
    return false;
}

qsizetype CharacterCount(const QString& text) {
    return text.toUcs4().size();
}

} // namespace webapp
