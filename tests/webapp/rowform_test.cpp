// The form an editor gets for a table's rows, generated from the table's description.
#include "webapp/forms/rowform.h"

#include <gtest/gtest.h>

namespace webapp {
namespace {

TEST(RowForm, DeclaredTypesGetTheirInputsAndSteps) {
    const struct {
        const char* type;
        RowInput input;
        const char* step;
    } CASES[] = {
        {"INTEGER", RowInput::Number, "1"},
        {"bigint", RowInput::Number, "1"},
        {"NUMERIC(10,2)", RowInput::Number, "0.01"},
        {"numeric(8,0)", RowInput::Number, "1"},
        {"DECIMAL", RowInput::Number, "any"},
        {"double precision", RowInput::Number, "any"},
        {"REAL", RowInput::Number, "any"},
        {"DATE", RowInput::Date, ""},
        {"timestamp without time zone", RowInput::DateTime, ""},
        {"DATETIME", RowInput::DateTime, ""},
        {"boolean", RowInput::Checkbox, ""},
        {"VARCHAR(40)", RowInput::Text, ""},
        {"character varying(40)", RowInput::Text, ""},
        {"TEXT", RowInput::Multiline, ""},
        {"", RowInput::Text, ""},
        {"BLOB", RowInput::Shown, ""},
        {"bytea", RowInput::Shown, ""},
    };
    for (const auto& c : CASES) {
        QString step;
        EXPECT_EQ(InputOfType(QString::fromLatin1(c.type), &step), c.input) << c.type;
        EXPECT_EQ(step, QString::fromLatin1(c.step)) << c.type;
    }
}

TEST(RowForm, FieldsFollowTheDescription) {
    TableSchema t;
    t.name = "products";
    t.type = "table";
    auto column = [](const char* name, const char* type, bool notNull, int pk) {
        ColumnInfo c;
        c.name = name;
        c.type = type;
        c.notNull = notNull;
        c.pk = pk;
        return c;
    };
    t.columns = {column("id", "INTEGER", true, 1), column("name", "VARCHAR(40)", true, 0),
                 column("price", "NUMERIC(10,2)", true, 0),
                 column("category_id", "INTEGER", false, 0), column("photo", "BLOB", false, 0)};
    t.columns[0].autoIncrement = true;
    t.columns[1].length = 40;
    t.columns[2].defaultValue = "0";
    t.foreignKeys = {{"categories", {{"category_id", "id"}}}};

    const QList<RowFormField> inserting = RowFormFields(t, true);
    ASSERT_EQ(inserting.size(), 4); // the database fills the id
    EXPECT_EQ(inserting[0].column, "name");
    EXPECT_TRUE(inserting[0].check.required);
    EXPECT_EQ(inserting[0].check.maxLength.value_or(-1), 40);
    // NOT NULL with a default may be left empty.
    EXPECT_FALSE(inserting[1].check.required);
    EXPECT_EQ(inserting[1].check.type, "real");
    EXPECT_EQ(inserting[1].step, "0.01");
    EXPECT_EQ(inserting[2].reference, "categories");
    EXPECT_EQ(inserting[2].referenceColumn, "id");
    EXPECT_EQ(inserting[2].check.type, "integer");
    EXPECT_EQ(inserting[3].input, RowInput::Shown);
    EXPECT_FALSE(inserting[3].check.required);

    // An edit keeps the key: the rows that point at it stay with it.
    const QList<RowFormField> editing = RowFormFields(t, false);
    ASSERT_EQ(editing.size(), 5);
    EXPECT_TRUE(editing[0].key);
    EXPECT_EQ(editing[0].input, RowInput::Key);
    EXPECT_FALSE(IsEditable(editing[0]));
    EXPECT_FALSE(editing[0].check.required);
    EXPECT_TRUE(IsEditable(editing[1]));
}

TEST(RowForm, DateTimesRoundTripThroughTheInput) {
    EXPECT_EQ(DateTimeInputValue("2024-05-01 12:30:05"), "2024-05-01T12:30:05");
    EXPECT_EQ(DateTimeInputValue("2024-05-01T12:30"), "2024-05-01T12:30");
    EXPECT_EQ(DateTimeInputValue("yesterday"), "yesterday");
    EXPECT_EQ(DateTimeStoredValue("2024-05-01T12:30"), "2024-05-01 12:30:00");
    EXPECT_EQ(DateTimeStoredValue("2024-05-01T12:30:05"), "2024-05-01 12:30:05");
}

} // namespace
} // namespace webapp
