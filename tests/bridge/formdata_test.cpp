#include "bridge/dynamicpages.h"
#include "bridge/formdata.h"
#include "bridge/pagecontext.h"
#include "common/dictionary.h"
#include "common/error.h"
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

TEST(DynamicPages, RefusedWhileTheDataServerIsDownAndAnErrorWithoutAWebApplication) {
    bool running = false;
    const bridge::PageContext context;
    bridge::DynamicPages pages(context, [&running] { return running; });
    EXPECT_EQ(pages.ProcessRequest({}),
              "HTTP/1.1 500 Data Server is not running.\r\nConnection: close\r\n\r\nData Server "
              "is not running. Check the database options and restart the web server.\r\n\r\n");
    running = true;
    try {
        pages.ProcessRequest({});
        FAIL() << "answered without a web application";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.description(), "No web application is installed for dynamic pages.");
    }
}
