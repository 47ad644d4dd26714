// Numbers as a page shows them: the language's notation, the declared scale, exact digits.
#include "webapp/rendering/numberformat.h"

#include <gtest/gtest.h>

using namespace webapp;

TEST(NumberFormat, FollowsTheLocaleAndTheScaleAndLeavesOtherTextAlone) {
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const struct {
        const char* raw;
        int scale;
        const char* english;
        const char* german;
    } cases[] = {
        {"1234.5", 2, "1,234.50", "1.234,50"},
        {"4.5", 2, "4.50", "4,50"},
        {"4.5", -1, "4.5", "4,5"},
        {"12", 2, "12.00", "12,00"},
        {"-1234567.891", -1, "-1,234,567.891", "-1.234.567,891"},
        {"2.675", 2, "2.68", "2,68"},    // half away from zero, on the digits as written
        {"-2.675", 2, "-2.68", "-2,68"}, // and for negatives too
        {"9.999", 2, "10.00", "10,00"},  // the carry reaches the whole part
        {"-0.001", 2, "0.00", "0,00"},   // no minus before a zero
        {"999", 0, "999", "999"},
        {"0.5", 0, "1", "1"},
        // Beyond what a double holds: every digit kept.
        {"123456789012345678901234567890", -1, "123,456,789,012,345,678,901,234,567,890",
         "123.456.789.012.345.678.901.234.567.890"},
        {"1.5e3", -1, "1,500", "1.500"},
        {"25E-3", -1, "0.025", "0,025"},
        {".5", 2, "0.50", "0,50"},
        {"+7", -1, "7", "7"},
        // Not numbers: shown as they are.
        {"abc", 2, "abc", "abc"},
        {"", 2, "", ""},
        {"12abc", 2, "12abc", "12abc"},
        {"1.2.3", -1, "1.2.3", "1.2.3"},
        {"-", -1, "-", "-"},
        {"2024-05-01", 2, "2024-05-01", "2024-05-01"},
        {"1e99999", -1, "1e99999", "1e99999"},
        {"1e99999999999", -1, "1e99999999999", "1e99999999999"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatNumber(c.raw, en, c.scale), c.english) << c.raw << " scale " << c.scale;
        EXPECT_EQ(FormatNumber(c.raw, de, c.scale), c.german) << c.raw << " scale " << c.scale;
    }
}

TEST(NumberFormat, DeclaredTypesGiveNumericColumnsAndTheirScale) {
    const struct {
        const char* type;
        bool known, numeric;
        int scale;
    } cases[] = {
        {"INTEGER", true, true, -1},
        {"bigint", true, true, -1},
        {"UNSIGNED BIG INT", true, true, -1},
        {"REAL", true, true, -1},
        {"double precision", true, true, -1},
        {"NUMERIC(10,2)", true, true, 2},
        {"DECIMAL(8, 3)", true, true, 3},
        {"numeric", true, true, -1},
        {"NUMERIC(5)", true, true, -1},
        {"TEXT", true, false, -1},
        {"VARCHAR(20)", true, false, -1},
        {"POINT", true, false, -1},
        {"DATE", true, false, -1},
        {"", false, false, -1},
    };
    for (const auto& c : cases) {
        const std::optional<NumberStyle> style = NumberStyleOfType(c.type);
        ASSERT_EQ(style.has_value(), c.known) << c.type;
        if (!style)
            continue;
        EXPECT_EQ(style->numeric, c.numeric) << c.type;
        EXPECT_EQ(style->scale, c.scale) << c.type;
    }
}

TEST(NumberFormat, ColumnsOfUnknownTypeAreNumericWhenEveryValueIsANumber) {
    RowSet rows;
    rows.columns = {"total", "mixed", "nulls", "none"};
    const auto cell = [](const char* text) { return Cell{text}; };
    const Cell null{QString(), true};
    rows.rows = {{cell("12.5"), cell("3"), null, null},
                 {cell("-4"), cell("three"), cell("7"), null}};
    EXPECT_TRUE(NumberStyleOfValues(rows, 0).numeric);
    EXPECT_FALSE(NumberStyleOfValues(rows, 1).numeric);
    EXPECT_TRUE(NumberStyleOfValues(rows, 2).numeric); // NULLs are no evidence either way
    EXPECT_FALSE(NumberStyleOfValues(rows, 3).numeric);
}
