#include "webapp/rendering/html.h"

#include "common/escape.h"

#include <QHash>
#include <QRegularExpression>

namespace webapp {

namespace {

bool isUnreserved(char16_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Appends text as a URL query component (see UrlEncode).
void appendUrlEncoded(QString& out, const QString& text) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    qsizetype plain = 0;
    while (plain < text.size() && isUnreserved(text[plain].unicode()))
        ++plain;
    if (plain == text.size()) {
        out += text; // the common case: nothing to encode
        return;
    }
    out += QStringView(text).left(plain);
    for (const char byte : QStringView(text).mid(plain).toUtf8()) {
        const auto b = static_cast<unsigned char>(byte);
        if (isUnreserved(b)) {
            out += QLatin1Char(char(b));
        } else {
            const char encoded[] = {'%', HEX[b >> 4], HEX[b & 15]};
            out += QLatin1String(encoded, 3);
        }
    }
}

} // namespace

void Markup::appendTo(QString& out) const {
    if (!m_ascii) {
        out += QString::fromUtf8(m_data, m_size);
        return;
    }
    // Most pieces are a few characters long: widened here rather than through a call per piece.
    const qsizetype at = out.size();
    out.resize(at + m_size);
    char16_t* to = reinterpret_cast<char16_t*>(out.data()) + at;
    for (qsizetype i = 0; i < m_size; ++i)
        to[i] = char16_t(static_cast<unsigned char>(m_data[i]));
}

Html::Html(Markup markup) {
    markup.appendTo(m_markup);
}

Html Html::text(const QString& text) {
    Html html;
    html.m_markup = common::Escaped(text, common::EscapeFor::Html);
    return html;
}

Html Html::number(qint64 n) {
    Html html;
    html.m_markup = QString::number(n);
    return html;
}

Html Html::number(double n, int decimals) {
    Html html;
    html.m_markup = QString::number(n, 'f', decimals);
    return html;
}

Html Html::trustedMarkup(const QString& markup) {
    Html html;
    html.m_markup = markup;
    return html;
}

Html& Html::operator+=(const Html& other) {
    m_markup += other.m_markup;
    return *this;
}

Html& Html::operator+=(Markup markup) {
    markup.appendTo(m_markup);
    return *this;
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
    QString out;
    appendUrlEncoded(out, text);
    return out;
}

Link::Link(const QString& page) {
    with(QStringLiteral("page"), page);
}

Link Link::inFolder(const QString& folder) {
    Link link;
    link.m_folder = folder;
    return link;
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

Link& Link::paging(qint64 size, qint64 defaultSize, qint64 offset) {
    if (size != defaultSize)
        with(QStringLiteral("size"), size);
    if (offset > 0)
        with(QStringLiteral("offset"), offset);
    return *this;
}

void Link::appendTo(QString& out, QLatin1String separator) const {
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (i == 0)
            out += QLatin1Char('?');
        else
            out += separator;
        appendUrlEncoded(out, m_fields[i].first);
        out += QLatin1Char('=');
        appendUrlEncoded(out, m_fields[i].second);
    }
}

QString Link::address(const QString& root) const {
    QString out = root + m_folder;
    appendTo(out, QLatin1String("&"));
    return out;
}

Html Link::href(const QString& root) const {
    // Encoded fields hold nothing HTML would read: only the folder and the separators need it.
    Html html;
    common::AppendEscaped(html.m_markup, root, common::EscapeFor::Html);
    common::AppendEscaped(html.m_markup, m_folder, common::EscapeFor::Html);
    appendTo(html.m_markup, QLatin1String("&amp;"));
    return html;
}

Html Anchor(const Link& link, const QString& text, const QString& root) {
    return "<a href=\"" + link.href(root) + "\">" + Html::text(text) + "</a>";
}

} // namespace webapp
