// The one escaper of the tree: XML that reads back exactly, pages that show every character.
#include "common/escape.h"
#include "common/xml.h"
#include "tests/support/qtprinters.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

using namespace common;

TEST(Escape, EachTargetEscapesWhatItMust) {
    const QChar nul(0);
    const struct {
        QString text, xml, html;
    } cases[] = {
        {"nothing special", "nothing special", "nothing special"},
        {"", "", ""},
        {"a<b & \"c\" > d", "a&lt;b &amp; &quot;c&quot; &gt; d",
         "a&lt;b &amp; &quot;c&quot; &gt; d"},
        {"&amp;", "&amp;amp;", "&amp;amp;"}, // escaped once more, never taken as escaped
        {"it's", "it's", "it&#39;s"},
        {QString("a") + nul +
             "b\x01"
             "c\x1b\x1f\x7f",
         QString("a") + nul +
             "b\x01"
             "c\x1b\x1f\x7f",
         QString("a") + QChar(0x2400) + "b" + QChar(0x2401) + "c" + QChar(0x241b) + QChar(0x241f) +
             QChar(0x2421)},
        {"tab\tline\r\nend", "tab\tline\r\nend", "tab\tline\r\nend"},
        {QString(QChar(0x85)) + QString::fromUtf8("é \xF0\x9F\x98\x80"),
         QString(QChar(0x85)) + QString::fromUtf8("é \xF0\x9F\x98\x80"),
         QString(QChar(0x85)) + QString::fromUtf8("é \xF0\x9F\x98\x80")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Escaped(c.text, EscapeFor::Xml), c.xml) << c.text.toStdString();
        EXPECT_EQ(Escaped(c.text, EscapeFor::Html), c.html) << c.text.toStdString();
        QString appended = "kept:";
        AppendEscaped(appended, c.text, EscapeFor::Html);
        EXPECT_EQ(appended, "kept:" + c.html) << c.text.toStdString();
    }
}

TEST(Escape, XmlReadsBackExactlyAsElementTextAndAsAttribute) {
    const QString text =
        QString::fromUtf8("<a href=\"x\">&amp; it's \t\r\n  Zoë € \xF0\x9F\x98\x80 ]]>");
    const QString escaped = Escaped(text, EscapeFor::Xml);
    const QString xml = "<e a=\"" + escaped + "\">" + escaped + "</e>";
    pugi::xml_document document;
    // Without end-of-line handling, as messages are read: a raw CR stands for itself.
    ASSERT_TRUE(document.load_string(
        ToUtf8(xml).c_str(), (pugi::parse_default | pugi::parse_ws_pcdata) & ~pugi::parse_eol &
                                 ~pugi::parse_wnorm_attribute & ~pugi::parse_wconv_attribute));
    EXPECT_EQ(ToQString(document.child("e").child_value()), text);
    EXPECT_EQ(ToQString(document.child("e").attribute("a").value()), text);
}

TEST(Escape, ATextThatNeedsNothingIsReturnedWithoutACopy) {
    const QString text = "plain text of a page";
    EXPECT_TRUE(Escaped(text, EscapeFor::Html).isSharedWith(text));
    EXPECT_TRUE(Escaped(text, EscapeFor::Xml).isSharedWith(text));
}
