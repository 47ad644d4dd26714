// Labels instead of bare foreign-key ids: grids, row pages, the saved page of a form, query
// parameters of a table, and exports that keep the raw values.
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

class ForeignKeyLabels : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.ready()); }

    ExampleApplication app;
    Browser browser{app};
};

// The texts of the links in the cells of a page's table body.
QStringList cellLinks(const QString& html) {
    static const QRegularExpression link(
        "<td[^>]*><a href=\"[^\"]*\"(?: title=\"([^\"]*)\")?>([^<]*)</a>");
    QStringList out;
    const QString body = html.section("<tbody>", 1, 1).section("</tbody>", 0, 0);
    for (const auto& m : link.globalMatch(body))
        out.append(m.captured(2) + "|" + m.captured(1));
    return out;
}

} // namespace

TEST_F(ForeignKeyLabels, GridsShowTheLabelAsTheLinkAndKeepTheKeyAsItsTitle) {
    const Page items = browser.get("page=table&name=order_items&col1=order_id&op1=eq&val1=1");
    ASSERT_EQ(items.status, 200);
    // Order 1 holds Green tea (1) and Espresso beans... as the sample has them: every key cell
    // is a label, its key the title; none is a bare number.
    const QStringList links = cellLinks(items.body);
    ASSERT_FALSE(links.isEmpty()) << items.body.toStdString();
    for (const QString& l : links)
        EXPECT_FALSE(QRegularExpression("^\\d+\\|").match(l).hasMatch()) << l.toStdString();
    EXPECT_TRUE(links.contains("Green tea|1")) << links.join(", ").toStdString();
    EXPECT_EQ(QueryOf(LinkTo(items.body, "Green tea")), "page=row&table=products&k.id=1");
    // The address of the view is unchanged: labels are never part of it.
    EXPECT_FALSE(items.body.contains("labels="));

    // A key without a label (a referenced row that is not there) stays a linked key. SQLite
    // checks no keys unless asked; PostgreSQL is told to skip the check for this one.
    if (OnPostgresql())
        ASSERT_TRUE(app.runSql("ALTER TABLE order_items DROP CONSTRAINT "
                               "order_items_product_id_fkey;"
                               "INSERT INTO order_items VALUES (1, 99, 1);"
                               "ALTER TABLE order_items ADD FOREIGN KEY (product_id) "
                               "REFERENCES products(id) NOT VALID;"));
    else
        ASSERT_TRUE(app.runSql("INSERT INTO order_items VALUES (1, 99, 1);"));
    const Page dangling = browser.get("page=table&name=order_items&col1=product_id&op1=eq&val1=99");
    EXPECT_TRUE(cellLinks(dangling.body).contains("99|")) << dangling.body.toStdString();
}

TEST_F(ForeignKeyLabels, RowPagesShowTheLabelBesideTheKeyAndListReferencesByLabel) {
    const Page item = browser.get("page=row&table=order_items&k.order_id=1&k.product_id=1");
    ASSERT_EQ(item.status, 200);
    EXPECT_TRUE(item.body.contains("<tr><th>product_id</th><td>Green tea (1)</td>"))
        << item.body.toStdString();
    const QString reference = QString::fromUtf8("products (product_id → id): Green tea");
    EXPECT_EQ(QueryOf(LinkTo(item.body, reference)), "page=row&table=products&k.id=1");
}

TEST_F(ForeignKeyLabels, TheSavedPageShowsAChoiceByItsLabel) {
    const Page saved = browser.post(FormBody(browser.get("page=form&name=stock").body,
                                             {{"f.product", "17"}, {"f.stock", "7"}}));
    ASSERT_FALSE(saved.redirect.isEmpty());
    const Page shown = browser.get(QueryOf(saved.redirect));
    EXPECT_TRUE(shown.body.contains("<td>Honey</td>")) << shown.body.toStdString();
    EXPECT_FALSE(shown.body.contains("<td>17</td>"));
}

TEST_F(ForeignKeyLabels, ExportsKeepTheRawKeys) {
    const Page csv =
        browser.get("page=export&format=csv&name=order_items&col1=order_id&op1=eq&val1=1");
    EXPECT_TRUE(csv.body.contains("order_id,product_id,quantity\r\n1,1,"))
        << csv.body.toStdString();
    EXPECT_FALSE(csv.body.contains("Green tea"));
}

TEST_F(ForeignKeyLabels, AQueryParameterOfATableIsAChoiceOfItsRowsByLabel) {
    const Page page = browser.get("page=query&name=CustomerOrders");
    EXPECT_TRUE(support::ContainsInOrder(page.body, {"<select id=\"qp1\" name=\"p.customer\">",
                                                     "<option value=\"1\">Ana Ferreira</option>",
                                                     "</select>"}))
        << page.body.toStdString();
    const Page run = browser.get("page=query&name=CustomerOrders&p.customer=1&run=1");
    EXPECT_TRUE(run.body.contains("<option value=\"1\" selected>Ana Ferreira</option>"));
    EXPECT_TRUE(run.body.contains("Rows 1 to 3"));
}

// A table of more rows than a list should hold gets a plain input.
TEST(LabelsOfLargeTables, AParameterOfATableOfMoreThan1000RowsIsAPlainInput) {
    const char* sql =
        "CREATE TABLE many (id INTEGER PRIMARY KEY, name TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1001)"
        " INSERT INTO many SELECT i, 'Row ' || i FROM n;";
    const char* pgSql = "CREATE TABLE many (id INTEGER PRIMARY KEY, name TEXT);"
                        "INSERT INTO many SELECT i, 'Row ' || i FROM generate_series(1, 1001) i;";
    ExampleApplication app(
        "<Query name=\"Many\"><Parameter name=\"m\" type=\"integer\" table=\"many\"/>"
        "<Parameter name=\"c\" type=\"integer\" table=\"customers\"/>"
        "<Sql>SELECT name FROM many WHERE id = :m OR id = :c</Sql></Query>",
        sql, pgSql);
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const Page page = browser.get("page=query&name=Many");
    EXPECT_TRUE(page.body.contains("<input type=\"number\" step=\"1\" id=\"qp1\" name=\"p.m\""))
        << page.body.toStdString();
    EXPECT_TRUE(page.body.contains("<select id=\"qp2\" name=\"p.c\">"));
    ASSERT_TRUE(app.runSql("DELETE FROM many WHERE id = 1001;"));
    EXPECT_TRUE(
        browser.get("page=query&name=Many").body.contains("<select id=\"qp1\" name=\"p.m\">"));
}
