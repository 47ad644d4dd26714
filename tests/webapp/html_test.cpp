// The encoders every address and page of the application goes through.
#include "tests/support/qtprinters.h"
#include "webapp/html.h"

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
    EXPECT_EQ(link.href("/a\"<"), "/a&quot;&lt;/?page=table&amp;name=a%26b&amp;k.x=");
    EXPECT_EQ(Anchor(link, "<b>"),
              "<a href=\"/?page=table&amp;name=a%26b&amp;k.x=\">&lt;b&gt;</a>");
    EXPECT_EQ(HtmlEscape("nothing special"), "nothing special");
    EXPECT_EQ(HtmlEscape(QString("'\"&<>")), QString("&#39;&quot;&amp;&lt;&gt;"));
}

// A character a browser would show as nothing is shown by its picture; the white space of
// multi-line text stays as it is.
TEST(Html, ControlCharactersShowAsTheirPictures) {
    const QString text = QString("a") + QChar(0) + "b\x01" "c\x1b\x1f" + QChar(0x7f) + "\t\r\n" +
                         QChar(0x85) + QString::fromUtf8("é");
    EXPECT_EQ(HtmlEscape(text), QString("a") + QChar(0x2400) + "b" + QChar(0x2401) + "c" +
                                    QChar(0x241b) + QChar(0x241f) + QChar(0x2421) + "\t\r\n" +
                                    QChar(0x85) + QString::fromUtf8("é"));
}
