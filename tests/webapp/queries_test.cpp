// The queries pages: read queries only, titles and descriptions, typed parameter inputs,
// paging, sorting, totals, key links and errors.
#include "common/files.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QDir>
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
    EXPECT_TRUE(list.body.contains(">Customers by country</a></td><td>The customers of one "
                                   "country, by name.</td><td>Country</td>"));
    EXPECT_TRUE(list.body.contains(">Low stock</a></td>"));
    EXPECT_FALSE(list.body.contains("AddCustomer"));
    EXPECT_FALSE(list.body.contains("UpdateStock"));

    // A write is never run from the queries page, not even by its address.
    const Page write = browser.get("page=query&name=UpdateStock&p.product=1&p.stock=0&run=1");
    EXPECT_EQ(write.status, 404);
    EXPECT_TRUE(browser.get("page=row&table=products&k.id=1").body.contains("<td>120</td>"));

    const Page lowStock = browser.get("page=query&name=LowStock");
    EXPECT_TRUE(lowStock.body.contains(
        "<input type=\"number\" step=\"1\" id=\"qp1\" name=\"p.threshold\" value=\"\" "
        "aria-describedby=\"qp1-hint\">"));
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
    EXPECT_TRUE(first.body.contains("Rows 1 to 5 of 18<"));
    EXPECT_TRUE(
        first.body.contains("<td data-label=\"name\">Sea salt</td>")); // 0 in stock comes first
    const Page second = browser.get(QueryOf(LinkTo(first.body, QString::fromUtf8("Next »"))));
    EXPECT_TRUE(second.body.contains("Rows 6 to 10 of 18<"));
    EXPECT_TRUE(second.body.contains("value=\"1000\"")); // the parameters stay
    const Page last =
        browser.get("page=query&name=LowStock&p.threshold=1000&run=1&size=5&offset=15");
    EXPECT_TRUE(last.body.contains("Rows 16 to 18 of 18<"));
    EXPECT_TRUE(LinkTo(last.body, QString::fromUtf8("Next »")).isEmpty());

    const Page text = browser.get("page=query&name=CustomersByCountry&p.country=France&run=1");
    EXPECT_TRUE(support::ContainsInOrder(text.body, {"Chlo\u00e9 Martin", "Fatima Haddad"}));

    // A value that does not fit the parameter's type: said next to it, kept, not run.
    const Page wrong = browser.get("page=query&name=LowStock&p.threshold=12abc&run=1");
    EXPECT_TRUE(wrong.body.contains("<div class=\"field invalid\">"));
    EXPECT_TRUE(wrong.body.contains("value=\"12abc\" aria-invalid=\"true\" "
                                    "aria-describedby=\"qp1-message\"><span class=\"hint\""));
    EXPECT_TRUE(wrong.body.contains("<span class=\"message\" id=\"qp1-message\">Please enter a "
                                    "whole number.</span>"));
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

namespace {
// A query of no title that a form reads its choices from, one that a form uses but that has a
// title of its own, and one whose label the language lacks.
const char CHOICES[] =
    "<Query name=\"ColourChoices\"><Sql>SELECT 'red' AS colour</Sql></Query>"
    "<Query name=\"Sizes\" title=\"Sizes on offer\"><Sql>SELECT 'L' AS size</Sql></Query>"
    "<Query name=\"Fallback\" label=\"qNoSuchLabel\" title=\"Fallback title\" "
    "description=\"Fallback text.\"><Sql>SELECT 1 AS one</Sql></Query>";
const char CHOICE_FORM[] = R"xml(<Form><Title>Shirt</Title>
  <Field name="colour" type="choice"><Label>Colour</Label>
    <Choices query="ColourChoices" value="colour" label="colour"/></Field>
  <Field name="size" type="choice"><Label>Size</Label>
    <Choices query="Sizes" value="size" label="size"/></Field>
  <Write query="AddCustomer"><Parameter name="name" field="colour"/></Write></Form>)xml";
} // namespace

// The list names queries by their titles (from the language, else dataserver.xml, else the
// name) and leaves out what only fills a form's choices; such a query still opens by its
// address for those who may use it. The rules still decide what is listed.
TEST(Queries, ListShowsTitlesAndLeavesOutChoiceQueries) {
    ExampleApplication app(CHOICES);
    ASSERT_TRUE(app.ready());
    common::SaveFile(app.folder() + "/forms/shirt.xml", CHOICE_FORM);
    Browser browser(app);
    const Page list = browser.get("page=queries");
    for (const char* hidden : {"ProductChoices", "CountryChoices", "ColourChoices"})
        EXPECT_FALSE(list.body.contains(hidden)) << hidden;
    EXPECT_TRUE(list.body.contains(">Sizes on offer</a>"));
    EXPECT_TRUE(list.body.contains(">Fallback title</a></td><td>Fallback text.</td>"));
    EXPECT_TRUE(list.body.contains(">Products in a category</a>"));

    const Page choices = browser.get("page=query&name=ProductChoices");
    EXPECT_EQ(choices.status, 200);
    EXPECT_TRUE(choices.body.contains(">Espresso beans</td>"));

    Browser german(app,
                   QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/de.xml")));
    const Page deList = german.get("page=queries");
    EXPECT_TRUE(deList.body.contains(">Kunden nach Land</a></td><td>Die Kunden eines Landes, "
                                     "nach Namen geordnet.</td><td>Land</td>"));
    const Page deQuery = german.get("page=query&name=LowStock");
    EXPECT_TRUE(deQuery.body.contains("<h1>Niedriger Bestand</h1>"));
    EXPECT_TRUE(deQuery.body.contains("<label for=\"qp1\">Weniger als</label>"));
    EXPECT_TRUE(deQuery.body.contains(
        "aria-describedby=\"qp1-hint\"><span class=\"hint\" id=\"qp1-hint\">Produkte mit "
        "geringerem Bestand als diesem werden gezeigt.</span>"));

    common::SaveFile(app.folder() + "/access.xml",
                     "<Access><Defaults tables=\"anonymous\" queries=\"anonymous\"/>"
                     "<Query name=\"LowStock\" allow=\"reader\"/>"
                     "<Table name=\"customers\" allow=\"reader\"/></Access>");
    browser.anonymous();
    const Page anonymous = browser.get("page=queries");
    EXPECT_FALSE(anonymous.body.contains("Low stock"));
    EXPECT_TRUE(anonymous.body.contains("Customers by country"));
    // A key column of a table the user may not open stays plain text.
    const Page plain = browser.get("page=query&name=CustomersByCountry&p.country=France&run=1");
    EXPECT_FALSE(plain.body.contains("table=customers"));
}

// A result sorts by any of its columns (the heading says how), shows its total with First and
// Last, links key columns to their rows, and exports in the order the address asks for.
TEST(Queries, ResultsSortCountAndLinkKeys) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const QString lowStock = "page=query&name=LowStock&p.threshold=1000&run=1&size=5";
    const Page first = browser.get(lowStock);
    EXPECT_TRUE(
        first.body.contains("<th scope=\"col\"><a class=\"sortable\" href=\"/?page=query&amp;name="
                            "LowStock&amp;p.threshold=1000&amp;run=1&amp;sort=name&amp;"
                            "size=5\">name</a></th>"))
        << first.body.toStdString();
    EXPECT_EQ(QueryOf(LinkTo(first.body, QString::fromUtf8("Last \u00bb"))),
              lowStock + "&offset=15");
    EXPECT_TRUE(LinkTo(first.body, QString::fromUtf8("\u00ab First")).isEmpty());
    // The id leads to the product's row.
    EXPECT_TRUE(first.body.contains(
        "<td class=\"num\" data-label=\"id\"><a href=\"/?page=row&amp;table=products&amp;k.id="));

    const Page byName = browser.get(lowStock + "&sort=name");
    EXPECT_TRUE(byName.body.contains("<th scope=\"col\" aria-sort=\"ascending\"><a href="));
    EXPECT_TRUE(support::ContainsInOrder(
        byName.body, {"Aged cheddar", "Apple juice", "Apples (1 kg)", "Basmati rice", "Butter"}));
    const Page descending = browser.get(QueryOf(LinkTo(byName.body, "name")));
    EXPECT_TRUE(descending.body.contains("<th scope=\"col\" aria-sort=\"descending\">"));
    EXPECT_TRUE(descending.body.contains("Rows 1 to 5 of 18<"));
    // Running it with other values keeps the order.
    EXPECT_TRUE(descending.body.contains("<input type=\"hidden\" name=\"sort\" value=\"name\">"
                                         "<input type=\"hidden\" name=\"dir\" value=\"desc\">"));
    const Page later =
        browser.get(QueryOf(LinkTo(descending.body, QString::fromUtf8("Next \u00bb"))));
    EXPECT_TRUE(later.body.contains("sort=name&amp;dir=desc"));
    EXPECT_TRUE(LinkTo(later.body, QString::fromUtf8("\u00ab First")).contains("dir=desc"));

    // An address that names no column of the result says so, and the form stays.
    const Page wrong = browser.get(lowStock + "&sort=nothing");
    EXPECT_TRUE(wrong.body.contains("UnknownColumn"));
    EXPECT_TRUE(wrong.body.contains("name=\"p.threshold\""));

    const Page csv = browser.get(QueryOf(LinkTo(descending.body, "CSV")));
    const QStringList lines = QString::fromUtf8(csv.content).split("\r\n");
    ASSERT_GE(lines.size(), 19);
    EXPECT_TRUE(lines[0].endsWith("id,name,category,in_stock")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("Whole milk")) << lines[1].toStdString();
    EXPECT_TRUE(lines[18].contains("Aged cheddar")) << lines[18].toStdString();
}
