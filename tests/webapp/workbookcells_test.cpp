// A value becomes the cell it is, or text whenever anything would change on the way.
#include "webapp/rendering/workbookcells.h"

#include <gtest/gtest.h>

using webapp::CellKind;
using webapp::CellValueOf;

namespace {

bool IsText(CellKind kind, const char* text) {
    return std::holds_alternative<QString>(CellValueOf(kind, QString::fromUtf8(text)));
}

} // namespace

TEST(WorkbookCells, ValuesThatWouldChangeStayText) {
    for (const char* text : {"00123", "+5", " 5", "5 ", "1,5", "0x10", "1e999", "NaN", "inf",
                             "12345678901234567", "0.1234567890123456", "9007199254740993", ""})
        EXPECT_TRUE(IsText(CellKind::Number, text)) << text;
    for (const char* text : {"0", "-5", "2.5", "-0.125", "9007199254740992", "1.5e3", "0.100"})
        EXPECT_FALSE(IsText(CellKind::Number, text)) << text;
    // A query's column has no type: what reads exactly as a number or an ISO date is one.
    EXPECT_FALSE(IsText(CellKind::Unknown, "42"));
    EXPECT_FALSE(IsText(CellKind::Unknown, "2024-01-02"));
    EXPECT_FALSE(IsText(CellKind::Unknown, "2024-01-02 10:00:00"));
    EXPECT_TRUE(IsText(CellKind::Unknown, "2024-01-02 10:00:00+02"));
    EXPECT_TRUE(IsText(CellKind::Unknown, "007"));
    EXPECT_TRUE(IsText(CellKind::Text, "42"));

    for (const char* text : {"2023-02-29", "1899-12-31", "2024-01-02 24:00:00",
                             "2024-01-02 10:00:00+02", "2024-1-2", "10000-01-01"})
        EXPECT_TRUE(IsText(CellKind::DateTime, text)) << text;
    EXPECT_TRUE(IsText(CellKind::Date, "2024-01-02 10:00:00")); // a date column's date has no time
    const auto stamp = std::get<webapp::CellDate>(
        CellValueOf(CellKind::DateTime, QStringLiteral("2024-02-29T23:59:59.5")));
    EXPECT_EQ(stamp.day, 29);
    EXPECT_EQ(stamp.second, 59.5);
    EXPECT_TRUE(stamp.hasTime);

    EXPECT_EQ(std::get<bool>(CellValueOf(CellKind::Boolean, QStringLiteral("t"))), true);
    EXPECT_TRUE(IsText(CellKind::Boolean, "maybe"));
}

TEST(WorkbookCells, TextIsCutAtTheCellLimitNeverInsideAnEscapeOrAPair) {
    bool cut = true;
    EXPECT_EQ(webapp::CellText(QStringLiteral("_x0041_ \u0000"), &cut),
              QByteArray("_x005F_x0041_ _x0000_"));
    EXPECT_FALSE(cut);

    // NULs are seven characters each as written: the text is cut so the escapes fit.
    const QString nuls(webapp::MAX_CELL_TEXT, QChar(0));
    const QByteArray written = webapp::CellText(nuls, &cut);
    EXPECT_TRUE(cut);
    EXPECT_LE(written.size(), webapp::MAX_CELL_TEXT);
    EXPECT_TRUE(written.endsWith("_x0000_"));

    // A character outside the BMP is one character, and never split.
    const QString emoji = QString(webapp::MAX_CELL_TEXT - 1, 'a') + QString::fromUtf8("😀😀");
    const QString kept = QString::fromUtf8(webapp::CellText(emoji, &cut));
    EXPECT_TRUE(cut);
    EXPECT_TRUE(kept.endsWith(QString::fromUtf8("a😀")));
}
