#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace webapp {

// Element text and attribute values: "&", "<", ">", '"' and "'" as character references;
// control characters other than tab, line feed and carriage return (NUL included), which a
// browser would show as nothing, as their Unicode control pictures (U+2400 + c, U+2421 for
// DEL), so that a page shows every character a value holds.
QString HtmlEscape(const QString& text);

// The text of HTML character data: the five named references of HtmlEscape, "&nbsp;" and
// numeric references are read; anything else stays as written.
QString HtmlUnescape(const QString& html);

// A text as a URL query component: its UTF-8 bytes, everything but A-Z a-z 0-9 "-._~"
// percent-encoded (so "+", "&", "=", "#" and "/" never change the address's meaning).
QString UrlEncode(const QString& text);

// An address of the web application ("/?page=table&name=..."), built field by field so
// that every value is URL-encoded. Fields with an empty value are left out.
class Link final {
public:
    explicit Link(const QString& page = {});

    Link& with(const QString& name, const QString& value);
    Link& with(const QString& name, qint64 value) { return with(name, QString::number(value)); }
    // Adds the field even when value is empty.
    Link& keep(const QString& name, const QString& value);

    // The address, e.g. "/?page=tables"; root is the application's path prefix.
    QString address(const QString& root = {}) const;
    // The address HTML-escaped, ready for an href attribute.
    QString href(const QString& root = {}) const;

    const QList<QPair<QString, QString>>& fields() const { return m_fields; }

private:
    void appendTo(QString& out, const QString& root, QLatin1String separator) const;

    QList<QPair<QString, QString>> m_fields;
};

// <a href="...">text</a> with text escaped.
QString Anchor(const Link& link, const QString& text, const QString& root = {});

} // namespace webapp
