// The queries pages: read queries only, typed parameter inputs, paging and errors.
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <gtest/gtest.h>

using namespace webapptest;

namespace {
// A query the database refuses when it runs, and one whose rows change without any write.
const char BROKEN[] = "<Query name=\"Broken\"><Sql>SELECT * FROM nowhere</Sql></Query>"
                      "<Query name=\"Dice\"><Sql>SELECT random() AS r</Sql></Query>";
} // namespace

TEST(Queries, OnlyReadQueriesAreOfferedWithTypedInputs) {
    ExampleApplication app(BROKEN);
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const Page list = browser.get("page=queries");
    EXPECT_TRUE(list.body.contains(">CustomersByCountry</a></td><td>country</td>"));
    EXPECT_TRUE(list.body.contains(">LowStock</a></td><td>threshold</td>"));
    EXPECT_FALSE(list.body.contains("AddCustomer"));
    EXPECT_FALSE(list.body.contains("UpdateStock"));

    // A write is never run from the queries page, not even by its address.
    const Page write = browser.get("page=query&name=UpdateStock&p.product=1&p.stock=0&run=1");
    EXPECT_EQ(write.status, 404);
    EXPECT_TRUE(browser.get("page=row&table=products&k.id=1").body.contains("<td>120</td>"));

    const Page lowStock = browser.get("page=query&name=LowStock");
    EXPECT_TRUE(lowStock.body.contains(
        "<input type=\"number\" step=\"1\" id=\"qp1\" name=\"p.threshold\" value=\"\">"));
    EXPECT_FALSE(lowStock.body.contains("<table")); // not run before the form is sent
    EXPECT_TRUE(browser.get("page=query&name=CustomersByCountry")
                    .body.contains("<input type=\"text\" id=\"qp1\" name=\"p.country\""));
    EXPECT_TRUE(browser.get("page=query&name=ProductsInCategory")
                    .body.contains("<input type=\"text\" id=\"qp1\" name=\"p.category\""));
}

TEST(Queries, RunPagedAndReportErrorsOnThePage) {
    ExampleApplication app(BROKEN);
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const Page first = browser.get("page=query&name=LowStock&p.threshold=1000&run=1&size=5");
    EXPECT_TRUE(first.body.contains("Rows 1 to 5<"));
    EXPECT_TRUE(
        first.body.contains("<td data-label=\"name\">Sea salt</td>")); // 0 in stock comes first
    const Page second = browser.get(QueryOf(LinkTo(first.body, QString::fromUtf8("Next »"))));
    EXPECT_TRUE(second.body.contains("Rows 6 to 10<"));
    EXPECT_TRUE(second.body.contains("value=\"1000\"")); // the parameters stay
    const Page last =
        browser.get("page=query&name=LowStock&p.threshold=1000&run=1&size=5&offset=15");
    EXPECT_TRUE(last.body.contains("Rows 16 to 18<"));
    EXPECT_TRUE(LinkTo(last.body, QString::fromUtf8("Next »")).isEmpty());

    const Page text = browser.get("page=query&name=CustomersByCountry&p.country=France&run=1");
    EXPECT_TRUE(support::ContainsInOrder(text.body, {"Chlo\u00e9 Martin", "Fatima Haddad"}));

    // A value that does not fit the parameter's type: said next to it, kept, not run.
    const Page wrong = browser.get("page=query&name=LowStock&p.threshold=12abc&run=1");
    EXPECT_TRUE(wrong.body.contains("<div class=\"field invalid\">"));
    EXPECT_TRUE(wrong.body.contains("aria-invalid=\"true\" aria-describedby=\"qp1-message\" "
                                    "value=\"12abc\"><span class=\"message\" "
                                    "id=\"qp1-message\">Please enter a whole number.</span>"));
    EXPECT_FALSE(wrong.body.contains("<table"));

    const Page refused = browser.get("page=query&name=Broken");
    EXPECT_EQ(refused.status, 200);
    EXPECT_TRUE(refused.body.contains("The data server reported an error: DatabaseError"));
    EXPECT_TRUE(refused.body.contains("nowhere"));
    EXPECT_EQ(browser.get("page=query&name=NoSuchQuery").status, 404);

    // Unchanged data does not make the same answer: each run is new.
    const QString dice = "page=query&name=Dice&run=1";
    EXPECT_NE(browser.get(dice).body, browser.get(dice).body);
}
