#include "common/urldecode.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using common::UrlDecode;

TEST(UrlDecode, DecodesPlusAndEscapesToWindows1252Characters) {
    EXPECT_EQ(UrlDecode("a+b%20c"), "a b c");
    EXPECT_EQ(UrlDecode("J%F6rg"), QString::fromUtf8("Jörg"));
    EXPECT_EQ(UrlDecode("%80"), QString::fromUtf8("€")); // Windows-1252, not Latin-1
    // One character per escape: bytes are never combined into UTF-8.
    EXPECT_EQ(UrlDecode("%C3%A9"), QString::fromUtf8("Ã©"));
    EXPECT_EQ(UrlDecode("%2B"), "+");
    EXPECT_EQ(UrlDecode("plain/path.htm"), "plain/path.htm");
    EXPECT_EQ(UrlDecode(""), "");
}

TEST(UrlDecode, MalformedEscapesDecodeTheLeadingHexDigits) {
    EXPECT_EQ(UrlDecode("%2541"), "%41"); // a decoded "%" is not decoded again
    EXPECT_EQ(UrlDecode("x%"), QString("x") + QChar(0));
    EXPECT_EQ(UrlDecode("%4"), QString(QChar(4)));
    EXPECT_EQ(UrlDecode("%4z!"), QString(QChar(4)) + "!");
    EXPECT_EQ(UrlDecode("%zz!"), QString(QChar(0)) + "!");
    EXPECT_EQ(UrlDecode("%z4"), QString(QChar(0)));
    EXPECT_EQ(UrlDecode("%41%"), QString("A") + QChar(0));
    // Worked off from the end: the "A" made by the second escape is a digit of the first.
    EXPECT_EQ(UrlDecode("%%41"), QString(QChar(10)));
    // "+" is a blank before any escape is looked at: "% 1" takes both characters.
    EXPECT_EQ(UrlDecode("%+1"), QString(QChar(0)));
}
