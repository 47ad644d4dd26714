// The encoders every address and page of the application goes through.
#include "tests/support/qtprinters.h"
#include "webapp/rendering/html.h"

#include <gtest/gtest.h>

using namespace webapp;

TEST(Html, AddressesEncodeEveryFieldAndEscapeForTheirAttribute) {
    const struct {
        QString text, encoded;
    } cases[] = {
        {"plain-Text_1.0~", "plain-Text_1.0~"},
        {"a b+c&d=e#f/g?h%", "a%20b%2Bc%26d%3De%23f%2Fg%3Fh%25"},
        {QString::fromUtf8("Zürich €"), "Z%C3%BCrich%20%E2%82%AC"},
        {QString::fromUtf8("\xF0\x9F\x98\x80"), "%F0%9F%98%80"}, // beyond 16 bits
        {QString(QChar(0)), "%00"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UrlEncode(c.text), c.encoded) << c.text.toStdString();

    Link link("table");
    link.with("name", "a&b").keep("k.x", "").with("skipped", "");
    EXPECT_EQ(link.address("/app"), "/app/?page=table&name=a%26b&k.x=");
    EXPECT_EQ(link.href("/a\"<").toString(), "/a&quot;&lt;/?page=table&amp;name=a%26b&amp;k.x=");
    EXPECT_EQ(Anchor(link, "<b>").toString(),
              "<a href=\"/?page=table&amp;name=a%26b&amp;k.x=\">&lt;b&gt;</a>");
    EXPECT_EQ(Html::text("nothing special").toString(), "nothing special");
    EXPECT_EQ(Html::text(QString("'\"&<>")).toString(), QString("&#39;&quot;&amp;&lt;&gt;"));
}

// A character a browser would show as nothing is shown by its picture; the white space of
// multi-line text stays as it is.
TEST(Html, ControlCharactersShowAsTheirPictures) {
    const QString text = QString("a") + QChar(0) +
                         "b\x01"
                         "c\x1b\x1f" +
                         QChar(0x7f) + "\t\r\n" + QChar(0x85) + QString::fromUtf8("é");
    EXPECT_EQ(Html::text(text).toString(), QString("a") + QChar(0x2400) + "b" + QChar(0x2401) +
                                               "c" + QChar(0x241b) + QChar(0x241f) + QChar(0x2421) +
                                               "\t\r\n" + QChar(0x85) + QString::fromUtf8("é"));
}

// Text reaches a page only escaped: these are checked when the test is compiled. Each
// refused form stands beside one that is accepted, so that the check itself is shown to work.
namespace {
template <typename A, typename B>
concept Addable = requires(A a, B b) {
    a + b;
};
template <typename A, typename B>
concept Appendable = requires(A a, B b) {
    a += b;
};

static_assert(Addable<Html, Html> && Addable<Html, const char (&)[4]> &&
              Addable<const char (&)[4], Html>);
static_assert(!Addable<Html, QString> && !Addable<QString, Html>);
static_assert(!Addable<Html, const QString&> && !Addable<const QString&, Html>);
static_assert(!Addable<Html, QStringView> && !Addable<Html, QLatin1String>);
static_assert(!Addable<Html, QChar> && !Addable<Html, char> && !Addable<Html, QByteArray>);
static_assert(!Addable<Html, const char*> && !Addable<const char*, Html>);
// Nor once pieces are joined.
using Joined = decltype(Html() + "x");
static_assert(Addable<Joined, Html> && Addable<Joined, const char (&)[4]>);
static_assert(!Addable<Joined, QString> && !Addable<QString, Joined>);
static_assert(!Appendable<Html&, QString> && Appendable<Html&, Joined>);
static_assert(!std::is_convertible_v<Joined, QString> && std::is_convertible_v<Joined, Html>);
template <typename T>
concept JoinsWithHtml = requires {
    typename HtmlJoin<Html, T>;
};
static_assert(JoinsWithHtml<Markup> && !JoinsWithHtml<QString> && !JoinsWithHtml<QStringView>);

static_assert(Appendable<Html&, Html> && Appendable<Html&, const char (&)[4]>);
static_assert(!Appendable<Html&, QString> && !Appendable<Html&, QStringView>);
static_assert(!Appendable<Html&, QLatin1String> && !Appendable<Html&, const char*>);
static_assert(!Appendable<QString&, Html>);

static_assert(std::is_constructible_v<Html, const char (&)[4]>);
static_assert(!std::is_constructible_v<Html, QString> && !std::is_constructible_v<Html, QChar>);
static_assert(!std::is_constructible_v<Html, const char*> &&
              !std::is_constructible_v<Html, QByteArray>);
static_assert(!std::is_convertible_v<Html, QString> && !std::is_convertible_v<QString, Html>);
// Only what is known when the program is compiled counts as markup.
static_assert(std::is_constructible_v<Markup, const char (&)[4]>);
static_assert(!std::is_constructible_v<Markup, const char*>);
} // namespace

TEST(Html, TextIsEscapedWhereverItEntersAndMarkupStaysAsWritten) {
    const QString hostile = "<script>'\"&";
    const Html page = "<p title=\"" + Html::text(hostile) + "\">" + Html::text(hostile) + "</p>" +
                      Html::number(-12);
    EXPECT_EQ(page.toString(), "<p title=\"&lt;script&gt;&#39;&quot;&amp;\">"
                               "&lt;script&gt;&#39;&quot;&amp;</p>-12");
    Html appended("\u2192 ");
    appended += Html::trustedMarkup("<b>as written</b>");
    EXPECT_EQ(appended.toString(), QString::fromUtf8("\u2192 <b>as written</b>"));
    EXPECT_TRUE(Html().isEmpty());
    // A join keeps its pieces: it may be written out after the texts it was made of are gone.
    const auto joined = "<i>" + Html::text(QString("a") + "<b") + "</i>";
    Html list("<li>");
    list += joined;
    EXPECT_EQ(list.toString(), "<li><i>a&lt;b</i>");
    EXPECT_EQ(Html(joined).toString(), "<i>a&lt;b</i>");
}
