#include "common/error.h"
#include "common/xml.h"
#include "common/xmlvalue.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace common;

namespace {
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    EXPECT_TRUE(support::WriteFile(dir.filePath(name), bytes));
    return dir.filePath(name);
}
} // namespace

TEST(Xml, NodeTextFindsFirstMatchAndConcatenatesDescendants) {
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlString(doc, "<XML><A>one<B>two</B></A><A>three</A></XML>"));
    EXPECT_EQ(NodeText(doc, "/XML/A"), "onetwo");
    EXPECT_EQ(NodeText(doc, "//Missing"), "");
    EXPECT_EQ(NodeText(pugi::xml_node(), "/XML"), "");
    EXPECT_THROW(NodeText(doc, "/XML/["), Error);
}

TEST(Xml, LoadsTheEncodingItFindsOrIsToldRejectsTheRest) {
    QTemporaryDir dir;
    pugi::xml_document doc;
    const QString text = QString::fromUtf8("<Settings><TCPPort>81</TCPPort><N>Jörg</N></Settings>");

    EXPECT_TRUE(LoadXmlFile(doc, writeFile(dir, "utf8.xml", text.toUtf8())));
    EXPECT_EQ(NodeText(doc, "//N"), QString::fromUtf8("Jörg"));

    QByteArray utf16("\xff\xfe", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_TRUE(LoadXmlFile(doc, writeFile(dir, "utf16.xml", utf16)));
    EXPECT_EQ(NodeText(doc, "//TCPPort"), "81");

    // As declared: 0x96 is "–" in Windows-1252, 0xDC is "Ü" in both code pages.
    for (const QByteArray encoding : {"windows-1252", "ISO-8859-1"}) {
        EXPECT_TRUE(LoadXmlFile(doc, writeFile(dir, "cp.xml",
                                               "<?xml version=\"1.0\" encoding=\"" + encoding +
                                                   "\"?>\n<N>\x96 \xDC"
                                                   "ber</N>")));
        EXPECT_EQ(NodeText(doc, "//N"), QString::fromUtf8("– Über")) << encoding.constData();
    }

    EXPECT_FALSE(LoadXmlFile(doc, writeFile(dir, "empty.xml", "")));
    EXPECT_FALSE(LoadXmlFile(doc, writeFile(dir, "bad.xml", "<a><b></a>")));
    EXPECT_FALSE(LoadXmlFile(doc, writeFile(dir, "text.xml", "just text")));
    EXPECT_FALSE(LoadXmlFile(doc, dir.filePath("missing.xml")));
    EXPECT_FALSE(doc.document_element());
}

TEST(Xml, SaveWritesOneLineAndRaisesWhenItCannot) {
    QTemporaryDir dir;
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlString(doc, "<Settings>\n  <A>1</A>\n</Settings>"));
    SaveXmlFile(doc, dir.filePath("out.xml"));
    EXPECT_EQ(support::ReadFile(dir.filePath("out.xml")), "<Settings><A>1</A></Settings>");
    EXPECT_THROW(SaveXmlFile(doc, dir.filePath("no/such/folder/out.xml")), Error);
}

// Message values arrive exactly as they were set, through the text of a real document.
TEST(XmlValue, EveryTextRoundTripsAndOnlyWhatXmlCannotCarryIsEncoded) {
    const struct {
        QString value;
        bool encoded;
    } cases[] = {
        {"", false},
        {"   ", false},
        {" padded\t", false},
        {"\n", false},
        {"line\r\nbreak", false},
        {QString::fromUtf8("Zoë <&> \"q\" 😀"), false},
        {QString::fromUtf8("a\0b", 3), true},
        {QString(1, QChar(0)), true},
        {"bell\x07", true},
        {QString(1, QChar(0xFFFE)), true},
    };
    for (const auto& c : cases) {
        pugi::xml_document out;
        pugi::xml_node root = out.append_child("XML");
        SetValueText(root.append_child("V"), c.value);
        pugi::xml_document in;
        const std::string text = ToUtf8(XmlText(out));
        ASSERT_TRUE(in.load_buffer(text.data(), text.size(), MESSAGE_PARSE & ~pugi::parse_eol))
            << text;
        const pugi::xml_node v = in.child("XML").child("V");
        EXPECT_EQ(ValueText(v), c.value) << text;
        EXPECT_EQ(v.attribute("encoding").empty(), !c.encoded) << text;
        EXPECT_EQ(XmlCanCarry(c.value), !c.encoded) << text;
    }
    // Formatting between elements is not a value.
    pugi::xml_document formatted;
    ASSERT_TRUE(formatted.load_string("<XML>\n  <V> </V>\n</XML>", MESSAGE_PARSE));
    EXPECT_EQ(formatted.child("XML").first_child().name(), std::string("V"));
    EXPECT_EQ(ValueText(formatted.child("XML").child("V")), " ");
}
