// The print view of tables and queries, and numbers in the language's notation.
#include "common/files.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <gtest/gtest.h>

using namespace webapptest;

namespace {

// Both databases: 1005 rows to print, and amounts with a declared scale.
const char PRINT_SQL[] = R"sql(
CREATE TABLE many (id INTEGER PRIMARY KEY, note TEXT);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1005)
INSERT INTO many (id, note) SELECT i, 'row' FROM n;
CREATE TABLE prices (id INTEGER PRIMARY KEY, amount NUMERIC(10,2), rate REAL, label TEXT);
INSERT INTO prices VALUES (1, 1234.5, -0.25, '1234.5'), (2, 4.5, 1000000, 'plain');
)sql";

qsizetype bodyRows(const Page& page) {
    return page.body.section("<tbody>", 1, 1).section("</tbody>", 0, 0).count("<tr>");
}

class Print : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.ready()); }
    ExampleApplication app{{}, PRINT_SQL, PRINT_SQL};
    Browser browser{app};
};

} // namespace

TEST_F(Print, ATableShowsItsRowsUpToTheLimitAndSaysWhenItWasCut) {
    const Page all = browser.get("page=print&name=many");
    EXPECT_EQ(all.status, 200);
    EXPECT_EQ(bodyRows(all), 1000);
    EXPECT_TRUE(all.body.contains("Only the first 1000 rows are shown"))
        << all.body.left(3000).toStdString();
    EXPECT_TRUE(all.body.contains("All rows, no filters."));

    // The view of a table page, its filters and order: in words, and applied.
    const Page table =
        browser.get("page=table&name=many&col1=id&op1=gt&val1=1000&sort=id&dir=desc&offset=2");
    const QString printLink = QueryOf(LinkTo(table.body, "Print view"));
    EXPECT_TRUE(printLink.startsWith("page=print&name=many&")) << printLink.toStdString();
    EXPECT_FALSE(printLink.contains("offset")) << printLink.toStdString();
    const Page cut = browser.get(printLink);
    EXPECT_EQ(bodyRows(cut), 5);
    EXPECT_FALSE(cut.body.contains("Only the first"));
    EXPECT_TRUE(support::ContainsInOrder(
        cut.body, {"Printed ", QString::fromUtf8("Filters: id greater than \u201C1000\u201D"),
                   "Sorted by id, descending.", "<td class=\"num\" data-label=\"id\">1005</td>",
                   "<td class=\"num\" data-label=\"id\">1001</td>"}))
        << cut.body.toStdString();
    // The table page says the same on paper only.
    EXPECT_TRUE(table.body.contains(QString::fromUtf8("<p class=\"print-only\">Printed ")))
        << table.body.toStdString();
}

TEST_F(Print, ATableTakesTheSearchEmptyFiltersSortKeysAndColumnsOfItsPage) {
    const Page table = browser.get("page=table&name=prices&q=PLAIN&col1=amount&op1=notempty&"
                                   "sort=rate&dir=desc&sort2=id&cols=rate&size=10");
    const QString printLink = QueryOf(LinkTo(table.body, "Print view"));
    for (const char* field : {"q=PLAIN", "op1=notempty", "sort2=id", "cols=rate"})
        EXPECT_TRUE(printLink.contains(field)) << field << " " << printLink.toStdString();
    const Page printed = browser.get(printLink);
    EXPECT_EQ(printed.status, 200);
    EXPECT_TRUE(printed.body.contains(
        QString::fromUtf8("Rows holding the words \u201CPLAIN\u201D. Filters: amount is not empty. "
                          "Sorted by rate, descending; id.")))
        << printed.body.toStdString();
    // The search and the filter applied; the columns picked, with the key kept.
    EXPECT_EQ(bodyRows(printed), 1);
    EXPECT_TRUE(support::ContainsInOrder(printed.body, {"<th scope=\"col\" class=\"num\"", ">id<",
                                                        ">rate<", "data-label=\"id\">2<"}))
        << printed.body.toStdString();
    EXPECT_FALSE(printed.body.contains("data-label=\"amount\"")) << printed.body.toStdString();
}

TEST_F(Print, AQueryShowsItsParametersAndEveryRow) {
    const Page query = browser.get("page=query&name=LowStock&p.threshold=1000&run=1&size=5");
    const QString printLink = QueryOf(LinkTo(query.body, "Print view"));
    EXPECT_EQ(printLink, "page=print&query=LowStock&p.threshold=1000&run=1");
    const Page printed = browser.get(printLink);
    EXPECT_EQ(printed.status, 200);
    EXPECT_EQ(bodyRows(printed), 18);
    EXPECT_TRUE(
        printed.body.contains(QString::fromUtf8("Parameters: threshold = \u201C1000\u201D")));
    // Not run yet, or with a value that does not fit: nothing to print, and why.
    EXPECT_EQ(browser.get("page=print&query=LowStock&p.threshold=12abc&run=1").status, 400);
    EXPECT_EQ(browser.get("page=print&query=NoSuchQuery").status, 404);
    EXPECT_EQ(browser.get("page=print&query=AddCustomer").status, 404); // a write query
}

TEST_F(Print, NumbersFollowTheLanguageAndTheDeclaredScaleWhileExportsStayRaw) {
    Browser german(app,
                   QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/de.xml")));
    const Page page = german.get("page=table&name=prices&sort=id");
    EXPECT_TRUE(support::ContainsInOrder(page.body,
                                         {"<th scope=\"col\" class=\"num\">",
                                          "<td class=\"num\" data-label=\"id\">1</td>",
                                          "<td class=\"num\" data-label=\"amount\">1.234,50</td>",
                                          "<td class=\"num\" data-label=\"rate\">-0,25</td>",
                                          // A text column holds numbers as text, shown as they are.
                                          "<td data-label=\"label\">1234.5</td>",
                                          "<td class=\"num\" data-label=\"amount\">4,50</td>"}))
        << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("data-label=\"rate\">1.000.000</td>") ||
                page.body.contains("data-label=\"rate\">1.000.000,0</td>"))
        << page.body.toStdString();
    // English: the same values with its own separators.
    EXPECT_TRUE(
        browser.get("page=table&name=prices").body.contains("data-label=\"amount\">1,234.50</td>"));
    // A row page as its grid; its key stays as stored.
    const Page row = german.get("page=row&table=prices&k.id=1");
    EXPECT_TRUE(support::ContainsInOrder(
        row.body, {"<th>id</th><td>1</td>", "<th>amount</th><td>1.234,50</td>",
                   "<th>rate</th><td>-0,25</td>", "<th>label</th><td>1234.5</td>"}))
        << row.body.toStdString();
    // A query's column whose values are all numbers is numeric too.
    const Page query = german.get("page=query&name=LowStock&p.threshold=1000&run=1");
    EXPECT_TRUE(query.body.contains("<td class=\"num\" data-label=\"in_stock\">"))
        << query.body.toStdString();
    const Page csv = german.get("page=export&name=prices&format=csv");
    EXPECT_TRUE(csv.body.contains("1234.5")) << csv.body.toStdString();
    EXPECT_FALSE(csv.body.contains("1.234,50"));
}
