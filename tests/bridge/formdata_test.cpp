#include "bridge/formdata.h"
#include "common/dictionary.h"
#include "common/text.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using bridge::ParseFormData;

TEST(ParseFormData, SplitsFieldsInOrderAndKeepsTheLastRepeat) {
    const auto fields = ParseFormData("first+name=J%F6rg&a&=x&b=1=2&a=again");
    EXPECT_EQ(fields->keys(), QStringList({"first name", "a", "", "b"}));
    EXPECT_EQ(common::ToText(fields->item("first name")), QString::fromUtf8("Jörg"));
    EXPECT_EQ(common::ToText(fields->item("a")), "again");
    EXPECT_EQ(common::ToText(fields->item("")), "x");
    EXPECT_EQ(common::ToText(fields->item("b")), "1");
    EXPECT_EQ(ParseFormData("")->count(), 0);
    // Two empty pieces are the same empty name.
    const auto empty = ParseFormData("&");
    EXPECT_EQ(empty->keys(), QStringList({""}));
    EXPECT_EQ(fields->className(), "Vantori.Dictionary");
}
