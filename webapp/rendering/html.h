#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace webapp {

// Markup the code itself writes: a string literal or a constant character array (UTF-8),
// known when the program is compiled. Nothing a request or the database holds can become one.
class Markup final {
public:
    template <std::size_t N>
    consteval Markup(const char (&markup)[N]) // NOLINT(google-explicit-constructor): literals
        : m_data(markup), m_size(N - 1), m_ascii(isAscii(markup, N - 1)) {}

    bool isEmpty() const { return m_size == 0; }
    // At least as many UTF-16 units as it appends.
    qsizetype size() const { return m_size; }
    void appendTo(QString& out) const;

private:
    static consteval bool isAscii(const char* text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            if (static_cast<unsigned char>(text[i]) > 0x7F)
                return false;
        return true;
    }

    const char* m_data;
    qsizetype m_size;
    bool m_ascii;
};

class Html;
template <typename T> inline constexpr bool IS_HTML_VALUE = false;
template <> inline constexpr bool IS_HTML_VALUE<Html> = true;
// What a page is joined from: Html, Markup, and joins of them.
template <typename T>
concept HtmlPart = IS_HTML_VALUE<T> || std::is_same_v<T, Markup>;

template <typename Left, typename Right>
requires HtmlPart<Left> && HtmlPart<Right>
class HtmlJoin;

// A piece of a web page, safe by construction: it is made of Markup, of other Html, of text
// through Html::text (escaped), of numbers, and, through the one named door trustedMarkup, of
// what the application's author wrote as HTML. A QString can neither be appended to it nor
// become one, so text from a request or the database cannot reach a page unescaped.
class Html final {
public:
    Html() = default;
    Html(Markup markup); // NOLINT(google-explicit-constructor): a literal is markup

    // text as page text (common::EscapeFor::Html), fit for element text and attribute values.
    static Html text(const QString& text);
    static Html number(qint64 n);
    // n with that many decimals, in the C locale ("12.5"): a coordinate of a drawing.
    static Html number(double n, int decimals);
    // The markup of the application's own page files (pages/*.htm), taken as it is: their
    // author writes them as HTML. Nothing else may come through here.
    static Html trustedMarkup(const QString& markup);

    Html& operator+=(const Html& other);
    Html& operator+=(Markup markup);
    template <typename Left, typename Right> Html& operator+=(const HtmlJoin<Left, Right>& join) {
        join.appendTo(m_markup);
        return *this;
    }

    bool isEmpty() const { return m_markup.isEmpty(); }
    qsizetype size() const { return m_markup.size(); }
    // The markup, for the body of the answer.
    const QString& toString() const { return m_markup; }
    void appendTo(QString& out) const { out += m_markup; }

    friend bool operator==(const Html&, const Html&) = default;

private:
    template <typename Left, typename Right>
    requires HtmlPart<Left> && HtmlPart<Right>
    friend class HtmlJoin;
    friend class Link;

    QString m_markup;
};

// Html and Markup joined by "+", written out once the whole is known: into one allocation
// when it becomes Html, straight into the page when it is appended (as QStringBuilder does
// for QString). It holds its parts by value, so it may outlive the expression that made it.
template <typename Left, typename Right>
requires HtmlPart<Left> && HtmlPart<Right>
class HtmlJoin final {
public:
    HtmlJoin(Left left, Right right) : m_left(std::move(left)), m_right(std::move(right)) {}

    qsizetype size() const { return m_left.size() + m_right.size(); }
    void appendTo(QString& out) const {
        m_left.appendTo(out);
        m_right.appendTo(out);
    }
    operator Html() const { // NOLINT(google-explicit-constructor): a join is Html
        Html html;
        html.m_markup.reserve(size());
        appendTo(html.m_markup);
        return html;
    }

private:
    Left m_left;
    Right m_right;
};

template <typename Left, typename Right>
inline constexpr bool IS_HTML_VALUE<HtmlJoin<Left, Right>> = true;
// Html, or Html and Markup joined.
template <typename T>
concept HtmlValue = IS_HTML_VALUE<std::remove_cvref_t<T>>;

template <HtmlValue Left, HtmlValue Right> auto operator+(Left&& left, Right&& right) {
    return HtmlJoin<std::remove_cvref_t<Left>, std::remove_cvref_t<Right>>(
        std::forward<Left>(left), std::forward<Right>(right));
}
template <HtmlValue Left> auto operator+(Left&& left, Markup right) {
    return HtmlJoin<std::remove_cvref_t<Left>, Markup>(std::forward<Left>(left), right);
}
template <HtmlValue Right> auto operator+(Markup left, Right&& right) {
    return HtmlJoin<Markup, std::remove_cvref_t<Right>>(left, std::forward<Right>(right));
}

// The text of HTML character data: the five named references the escaper writes, "&nbsp;"
// and numeric references are read; anything else stays as written.
QString HtmlUnescape(const QString& html);

// A text as a URL query component: its UTF-8 bytes, everything but A-Z a-z 0-9 "-._~"
// percent-encoded (so "+", "&", "=", "#" and "/" never change the address's meaning).
QString UrlEncode(const QString& text);

// An address of the web application ("/?page=table&name=..."), built field by field so
// that every value is URL-encoded. Fields with an empty value are left out.
class Link final {
public:
    explicit Link(const QString& page = {});
    // An address in another folder of the server ("/fn/"), with no page field.
    static Link inFolder(const QString& folder);

    Link& with(const QString& name, const QString& value);
    Link& with(const QString& name, qint64 value) { return with(name, QString::number(value)); }
    // Adds the field even when value is empty.
    Link& keep(const QString& name, const QString& value);
    // A paged list's place: "size" unless it is defaultSize, "offset" unless it is 0.
    Link& paging(qint64 size, qint64 defaultSize, qint64 offset);

    // The address, e.g. "/?page=tables"; root is the application's path prefix.
    QString address(const QString& root = {}) const;
    // The address escaped for an href attribute.
    Html href(const QString& root = {}) const;

    const QList<QPair<QString, QString>>& fields() const { return m_fields; }

private:
    void appendTo(QString& out, QLatin1String separator) const;

    QString m_folder = QStringLiteral("/");
    QList<QPair<QString, QString>> m_fields;
};

// <a href="...">text</a> with text escaped.
Html Anchor(const Link& link, const QString& text, const QString& root = {});

} // namespace webapp
