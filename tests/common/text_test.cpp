#include "common/guid.h"
#include "common/text.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace common;

TEST(Text, ToLongRoundsHalfToEvenAndRefusesWhatIsNotANumber) {
    EXPECT_EQ(ToLong(QString("2.5")), 2);
    EXPECT_EQ(ToLong(QString("3.5")), 4);
    EXPECT_EQ(ToLong(QString("-7")), -7);
    EXPECT_EQ(ToLong(QString("12abc")), 0);
    EXPECT_EQ(ToLong(QString("")), 0);
    EXPECT_EQ(ToLong(3000000000.0), 0);
    EXPECT_EQ(ToLong(QString("3000000000")), 0);
    EXPECT_EQ(ToLong(Value(Null{})), 0);
}

TEST(Text, ToTextOfEveryKind) {
    EXPECT_EQ(ToText(Value()), "");
    EXPECT_EQ(ToText(Value(Null{})), "");
    EXPECT_EQ(ToText(true), "True");
    EXPECT_EQ(ToText(int32_t(-12)), "-12");
    EXPECT_EQ(ToText(0.5), "0.5");
    EXPECT_EQ(ToText(3.0), "3");
}

TEST(Text, NonNegativeOnlyTouchesNegativeNumbers) {
    EXPECT_EQ(NonNegative(int32_t(-5)).toInt(), 0);
    EXPECT_EQ(NonNegative(int32_t(7)).toInt(), 7);
    EXPECT_EQ(NonNegative(QString("abc")).string(), "abc");
}

TEST(Text, LeadingNumberUsesAFullStopWhateverTheLocale) {
    EXPECT_DOUBLE_EQ(LeadingNumber("0.5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("2days"), 2.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("x"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
}

TEST(Text, XmlEscapeEscapesAmpersandFirst) {
    EXPECT_EQ(XmlEscape(QString("a<b & \"c\"")), "a&lt;b &amp; &quot;c&quot;");
    EXPECT_EQ(XmlEscape(QString("&amp;")), "&amp;amp;");
    EXPECT_EQ(XmlEscape(QString("it's")), "it's");
    EXPECT_EQ(XmlEscape(Value(Null{})), "");
}

TEST(Text, XPathLiteralUsesConcatForApostrophes) {
    EXPECT_EQ(XPathLiteral("abc"), "'abc'");
    EXPECT_EQ(XPathLiteral("it's"), "concat('it',\"'\",'s')");
    EXPECT_EQ(XPathLiteral("'"), "concat('',\"'\",'')");
}

TEST(Text, FileExistsIsFalseForFoldersAndEmptyPaths) {
    QTemporaryDir dir;
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.path()));
    ASSERT_TRUE(support::WriteFile(dir.filePath("x.txt"), {}));
    EXPECT_TRUE(FileExists(dir.filePath("x.txt")));
    EXPECT_FALSE(FileExists(dir.filePath("y.txt")));
}

TEST(Guid, UpperCaseGroupedAndUnique) {
    static const QRegularExpression form(
        "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    QSet<QString> seen;
    for (int i = 0; i < 200; ++i) {
        const QString g = NewGuidString();
        EXPECT_TRUE(form.match(g).hasMatch()) << g.toStdString();
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 200);
}
