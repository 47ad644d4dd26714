#include "webapp/html.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

namespace webapp {

QString HtmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\'':
            out += QLatin1String("&#39;");
            break;
        case 0:
            // A NUL has no place in HTML; the replacement character shows that one was there.
            out += QChar(0xFFFD);
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString HtmlUnescape(const QString& html) {
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), QLatin1Char('&')},   {QStringLiteral("lt"), QLatin1Char('<')},
        {QStringLiteral("gt"), QLatin1Char('>')},    {QStringLiteral("quot"), QLatin1Char('"')},
        {QStringLiteral("apos"), QLatin1Char('\'')}, {QStringLiteral("nbsp"), QChar(0xA0)}};
    static const QRegularExpression reference(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z]+);"));
    QString out;
    qsizetype at = 0;
    for (const QRegularExpressionMatch& m : reference.globalMatch(html)) {
        const QString name = m.captured(1);
        QString replacement = m.captured();
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex = name.size() > 1 && name.at(1).toLower() == QLatin1Char('x');
            const uint code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            const char32_t character = code;
            if (ok && code > 0 && code <= 0x10FFFF && QChar::isPrint(character))
                replacement = QString::fromUcs4(&character, 1);
        } else if (named.contains(name)) {
            replacement = named.value(name);
        }
        out += html.mid(at, m.capturedStart() - at) + replacement;
        at = m.capturedEnd();
    }
    return out + html.mid(at);
}

QString UrlEncode(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

Link::Link(const QString& page) {
    with(QStringLiteral("page"), page);
}

Link& Link::with(const QString& name, const QString& value) {
    if (!value.isEmpty())
        m_fields.append({name, value});
    return *this;
}

Link& Link::keep(const QString& name, const QString& value) {
    m_fields.append({name, value});
    return *this;
}

QString Link::address(const QString& root) const {
    QString out = root + QLatin1Char('/');
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        out += QLatin1Char(i == 0 ? '?' : '&');
        out += UrlEncode(m_fields[i].first) + QLatin1Char('=') + UrlEncode(m_fields[i].second);
    }
    return out;
}

QString Anchor(const Link& link, const QString& text, const QString& root) {
    return QStringLiteral("<a href=\"") + link.href(root) + QStringLiteral("\">") +
           HtmlEscape(text) + QStringLiteral("</a>");
}

} // namespace webapp
