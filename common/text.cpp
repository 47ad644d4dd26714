#include "common/text.h"

#include "common/escape.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace common {

namespace {
QString numberText(double d) {
    if (std::isnan(d) || std::isinf(d))
        return {};
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(static_cast<qint64>(d));
    return QString::number(d, 'g', 15);
}

bool roundToLong(double d, int32_t& out) {
    if (std::isnan(d))
        return false;
    const double r = std::nearbyint(d); // default rounding mode: half to even
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

bool parseNumber(const QString& text, double& out) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool ok = false;
    out = t.toDouble(&ok);
    return ok;
}
} // namespace

QString ToText(const Value& value) {
    if (value.isString())
        return value.string();
    if (value.isInt())
        return QString::number(value.toInt());
    if (value.isBool())
        return value.boolean() ? QStringLiteral("True") : QStringLiteral("False");
    if (value.isDouble())
        return numberText(value.number());
    if (value.isDate())
        return value.date().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return {};
}

int32_t ToLong(const Value& value) {
    int32_t out = 0;
    double d = 0;
    if (value.isInt())
        return value.toInt();
    if (value.isBool())
        return value.boolean() ? -1 : 0;
    if (value.isDouble())
        d = value.number();
    else if (value.isString()) {
        if (!parseNumber(value.string(), d))
            return 0;
    } else
        return 0;
    return roundToLong(d, out) ? out : 0;
}

Value NonNegative(const Value& value) {
    if ((value.isInt() && value.toInt() < 0) || (value.isDouble() && value.number() < 0))
        return Value(int32_t(0));
    return value;
}

double LeadingNumber(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const auto m = number.match(text);
    if (!m.hasMatch())
        return 0;
    const double d = m.captured(0).trimmed().toDouble();
    return std::isfinite(d) ? d : 0;
}

QString XmlEscape(const Value& value) {
    return Escaped(ToText(value), EscapeFor::Xml);
}

QString XPathLiteral(const QString& s) {
    if (!s.contains(QLatin1Char('\'')))
        return QLatin1Char('\'') + s + QLatin1Char('\'');
    QString inner = s;
    inner.replace(QLatin1Char('\''), QStringLiteral("',\"'\",'"));
    return QStringLiteral("concat('") + inner + QStringLiteral("')");
}

QString LabelText(const QString& text, const Value& args) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        if (text.at(i) == QLatin1Char('\\') && next == QLatin1Char('\\')) {
            out += QLatin1Char('\\');
            ++i;
        } else if (text.at(i) == QLatin1Char('\\') && next == QLatin1Char('n')) {
            out += QStringLiteral("\r\n");
            ++i;
        } else {
            out += text.at(i);
        }
    }
    if (args.isEmpty())
        return out;
    const Value::Array list = args.isArray() ? args.array() : Value::Array{args};
    for (size_t i = 0; i < list.size(); ++i)
        out.replace(QLatin1Char('%') + QString::number(i + 1), ToText(list[i]));
    return out;
}

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

Value ShellOpen(const QString& target) {
    if (target.isEmpty())
        return {};
    return QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

} // namespace common
