// Tables and views: counts, paging, sorting, filters, row pages and their key links.
#include "components/dataversion.h"
#include "tests/support/qtprinters.h"
#include "webapp/rendering/html.h"
#include "webappfixture.h"

#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

class Tables : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.ready()); }

    // The texts of one data column (0 is the first after the row links), row by row.
    static QStringList column(const Page& page, int index) {
        static const QRegularExpression row("<tr>(.*?)</tr>");
        static const QRegularExpression cell("<td(?! class=\"lead\")[^>]*>(.*?)</td>");
        static const QRegularExpression tag("<[^>]*>");
        QStringList out;
        const QString body = page.body.section("<tbody>", 1, 1).section("</tbody>", 0, 0);
        for (const auto& r : row.globalMatch(body)) {
            QStringList cells;
            for (const auto& c : cell.globalMatch(r.captured(1)))
                cells.append(c.captured(1).remove(tag));
            if (index < cells.size())
                out.append(cells[index]);
        }
        return out;
    }

    // The address a column's heading links to.
    static QString heading(const Page& page, const QString& column) {
        const QRegularExpression link("<a href=\"([^\"]*)\">" + QRegularExpression::escape(column) +
                                      " <span class=\"cue\"");
        return QueryOf(webapp::HtmlUnescape(link.match(page.body).captured(1)));
    }

    ExampleApplication app;
    Browser browser{app};
};

} // namespace

TEST_F(Tables, ListCountsTheRowsOfEveryTableAndView) {
    const Page page = browser.get("page=tables");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(support::ContainsInOrder(
        page.body, {">categories</a></td><td>Table</td><td class=\"num\">5<",
                    ">customers</a></td><td>Table</td><td class=\"num\">12<",
                    ">order_items</a></td><td>Table</td><td class=\"num\">34<",
                    ">order_totals</a></td><td>View</td><td class=\"num\">14<",
                    ">products</a></td><td>Table</td><td class=\"num\">18<"}));
    EXPECT_FALSE(page.body.contains("quorvex_requests"));
}

TEST_F(Tables, PagesSortsBothWaysAndFilters) {
    const Page first = browser.get("page=table&name=products&size=5");
    EXPECT_EQ(column(first, 1).size(), 5);
    EXPECT_TRUE(first.body.contains("Rows 1 to 5 of 18"));
    const Page second = browser.get(QueryOf(LinkTo(first.body, QString::fromUtf8("Next »"))));
    EXPECT_TRUE(second.body.contains("Rows 6 to 10 of 18"));
    EXPECT_EQ(column(second, 0).first(), "6");
    EXPECT_EQ(QueryOf(LinkTo(second.body, QString::fromUtf8("« Previous"))),
              "page=table&name=products&size=5");

    // A column's heading sorts by it; the heading of the sorted column turns the order round.
    const Page ascending = browser.get(heading(first, "unit_price"));
    EXPECT_EQ(column(ascending, 2).value(0), "Sparkling water");
    const Page descending = browser.get(heading(ascending, "unit_price"));
    EXPECT_EQ(column(descending, 2).value(0), "Espresso beans");
    EXPECT_EQ(column(descending, 2).size(), 5); // the page size stays
    EXPECT_TRUE(descending.body.contains("dir=desc"));

    const struct {
        const char* filters;
        int total;
        const char* firstName;
    } cases[] = {
        {"col1=name&op1=eq&val1=Honey", 1, "Honey"},
        {"col1=name&op1=contains&val1=BREAD", 1, "Sourdough bread"},
        {"col1=in_stock&op1=gt&val1=100", 4, "Green tea"},
        {"col1=in_stock&op1=lt&val1=25", 2, "Honey"},
        {"col1=category_id&op1=eq&val1=1&col2=in_stock&op2=gt&val2=50", 3, "Green tea"},
        {"col1=name&op1=contains&val1=%25", 0, nullptr},
    };
    for (const auto& c : cases) {
        const Page page = browser.get(QStringLiteral("page=table&name=products&") + c.filters);
        EXPECT_TRUE(page.body.contains(QStringLiteral(" of %1<").arg(c.total))) << c.filters;
        if (c.firstName) {
            EXPECT_EQ(column(page, 2).value(0), c.firstName) << c.filters;
        }
        // The filters stay in the sort links and the exports.
        EXPECT_TRUE(LinkTo(page.body, "CSV").contains(QString(c.filters).section('&', 0, 2)))
            << c.filters;
    }
    // Removing the second filter keeps the first.
    const Page both =
        browser.get("page=table&name=products&col1=category_id&op1=eq&val1=1&col2=in_stock&op2=gt&"
                    "val2=50");
    const Page one = browser.get(QueryOf(LinksTo(both.body, "remove").value(1)));
    EXPECT_TRUE(one.body.contains(" of 4<"));

    const Page badColumn = browser.get("page=table&name=products&sort=nope");
    EXPECT_TRUE(badColumn.body.contains("UnknownColumn"));
}

TEST_F(Tables, RowPagesFollowForeignKeysBothWays) {
    const Page orders = browser.get("page=table&name=orders");
    const Page order = browser.get(QueryOf(LinkTo(orders.body, "Open")));
    EXPECT_TRUE(order.body.contains("<h1>Row of orders</h1>"));
    EXPECT_TRUE(order.body.contains("<tr><th>ordered_on</th><td>2024-01-08</td>"));

    const Page customer = browser.get(QueryOf(
        LinkTo(order.body, QString::fromUtf8("customers (customer_id → id): Ana Ferreira"))));
    EXPECT_TRUE(customer.body.contains("<td>Ana Ferreira</td>"));
    const Page ordersOfCustomer =
        browser.get(QueryOf(LinkTo(customer.body, "orders (customer_id)")));
    EXPECT_TRUE(ordersOfCustomer.body.contains("Rows 1 to 3 of 3"));
    // The foreign key cell of a table page leads to the row it points at, by its label.
    EXPECT_EQ(QueryOf(LinkTo(orders.body.section("<tbody>", 1), QString::fromUtf8("Chloé Martin"))),
              "page=row&table=customers&k.id=3");

    // A composite key: both columns name the row; both of its keys lead on.
    const Page items = browser.get("page=table&name=order_items&col1=order_id&op1=eq&val1=1");
    const QString itemLink = QueryOf(LinkTo(items.body, "Open"));
    EXPECT_EQ(itemLink, "page=row&table=order_items&k.order_id=1&k.product_id=1");
    const Page item = browser.get(itemLink);
    EXPECT_TRUE(item.body.contains("<tr><th>quantity</th><td>2</td>"));
    const Page product = browser.get(
        QueryOf(LinkTo(item.body, QString::fromUtf8("products (product_id → id): Green tea"))));
    EXPECT_TRUE(product.body.contains("<td>Green tea</td>"));
    EXPECT_TRUE(product.body.contains(">order_items (product_id)</a>"));
    EXPECT_EQ(browser.get("page=row&table=order_items&k.order_id=1&k.product_id=2").status, 404);

    // Views have no row pages.
    const Page view = browser.get("page=table&name=order_totals");
    EXPECT_TRUE(view.body.contains("Rows 1 to 14 of 14"));
    EXPECT_FALSE(view.body.contains(">Open</a>"));
    EXPECT_EQ(browser.get("page=row&table=order_totals&k.order_id=1").status, 404);
    EXPECT_EQ(browser.get("page=table&name=nosuchtable").status, 404);
}

// Pages may be answered from earlier replies; a change made by another program still shows.
TEST_F(Tables, AWriteByAnotherProgramShowsOnTheNextPages) {
    const QString iceland = "page=table&name=customers&col1=country&op1=eq&val1=Iceland";
    EXPECT_FALSE(browser.get(iceland).body.contains("Edda"));
    EXPECT_TRUE(browser.get("page=tables").body.contains("<td class=\"num\">12<"));

    ASSERT_TRUE(app.runSql("INSERT INTO customers (name, city, country) "
                           "VALUES ('Edda', 'Reykjavik', 'Iceland')"));
    // Both, once the data server has seen the change (a page in between may have been read
    // before it did, and be kept under the old version until then).
    EXPECT_TRUE(support::Eventually([&] {
        return browser.get(iceland).body.contains("Edda") &&
               browser.get("page=tables")
                   .body.contains(">customers</a></td><td>Table</td><td class=\"num\">13<");
    }));
}

// A page asked for again while the data is unchanged is answered from the replies kept for it:
// it comes even while the data server is stopped and could answer nothing.
TEST_F(Tables, AnUnchangedPageIsAnsweredFromKeptReplies) {
    const QString customers = "page=table&name=customers&size=5&sort=city";
    const auto version = [&] { return components::ReadDataVersion(app.inQueue()); };
    ASSERT_TRUE(support::Eventually([&] { return !version().isEmpty(); }));
    const QString before = version();
    const Page first = browser.get(customers);
    ASSERT_TRUE(first.body.contains("Rows 1 to 5 of 12")) << first.body.toStdString();

    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGSTOP), 0);
    const Page again = browser.get(customers);
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGCONT), 0);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(version(), before);
}

// A filter or parameter value is used as it came or not at all: one that is too long or not
// UTF-8 text gets a short refusal, never a page that repeats it.
TEST_F(Tables, FieldsThatCannotBeUsedAsTheyCameAreRefused) {
    const QString longest(10000, 'x');
    const Page fits = browser.get("page=table&name=customers&col1=name&op1=eq&val1=" + longest);
    EXPECT_EQ(fits.status, 200);
    EXPECT_TRUE(fits.body.contains(longest));

    const QString tooLong = longest + "x";
    const struct {
        QString query;
        const char* message;
    } cases[] = {
        {"page=table&name=customers&col1=name&op1=eq&val1=" + tooLong,
         "The field val1 holds more than 10000 characters."},
        {"page=query&name=CustomersByCountry&p.country=" + tooLong + "&run=1",
         "The field p.country holds more than 10000 characters."},
        {"page=export&format=csv&name=customers&col1=name&op1=eq&val1=" + tooLong,
         "The field val1 holds more than 10000 characters."},
        {"page=row&table=customers&k." + tooLong + "=1", "holds more than 10000 characters."},
        {"page=table&name=customers&col1=name&op1=eq&val1=caf%E9",
         "The field val1 is not UTF-8 text"},
        {"page=query&name=CustomersByCountry&p.country=%C3&run=1",
         "The field p.country is not UTF-8 text"},
    };
    for (const auto& c : cases) {
        const Page page = browser.get(c.query);
        const std::string what = c.query.left(80).toStdString();
        EXPECT_EQ(page.status, 400) << what;
        EXPECT_TRUE(page.body.contains(c.message)) << what;
        EXPECT_LT(page.raw.size(), 8000) << what;
    }
}

namespace {
const char EXACT_SQL[] = R"sql(
CREATE TABLE spaces (id TEXT PRIMARY KEY, note TEXT);
INSERT INTO spaces VALUES ('   ', ' padded '), ('x', '  ');
CREATE TABLE nul (id INTEGER PRIMARY KEY, note TEXT);
INSERT INTO nul VALUES (1, 'before' || char(0) || 'after');
)sql";
const char EXACT_POSTGRESQL[] = R"sql(
CREATE TABLE spaces (id TEXT PRIMARY KEY, note TEXT);
INSERT INTO spaces VALUES ('   ', ' padded '), ('x', '  ');
)sql";
} // namespace

// Values arrive as stored: whitespace-only texts and blanks at the ends in pages, filters, row
// pages and exports; the NUL of an SQLite text uncut. A name is only ever its exact self.
TEST(ExactValues, ReachPagesFiltersRowPagesAndExportsUnchanged) {
    ExampleApplication app({}, EXACT_SQL, EXACT_POSTGRESQL);
    ASSERT_TRUE(app.ready());
    Browser browser(app);

    const Page table = browser.get("page=table&name=spaces");
    EXPECT_TRUE(table.body.contains("<td data-label=\"id\">   </td><td data-label=\"note\"> "
                                    "padded </td>"))
        << table.body.toStdString();
    EXPECT_TRUE(table.body.contains("<td data-label=\"id\">x</td><td data-label=\"note\">  </td>"));
    const Page row = browser.get(QueryOf(LinkTo(table.body, "Open")));
    EXPECT_EQ(row.status, 200) << QueryOf(LinkTo(table.body, "Open")).toStdString();
    EXPECT_TRUE(row.body.contains("<tr><th>note</th><td> padded </td>")) << row.body.toStdString();
    EXPECT_EQ(browser.get("page=row&table=spaces&k.id=%20").status, 404);

    const Page filtered = browser.get("page=table&name=spaces&col1=note&op1=eq&val1=%20%20");
    EXPECT_TRUE(filtered.body.contains("Rows 1 to 1 of 1")) << filtered.body.toStdString();
    EXPECT_TRUE(filtered.body.contains("<td data-label=\"id\">x</td>"));

    const Page csv = browser.get("page=export&name=spaces&format=csv");
    EXPECT_EQ(csv.content, "\xEF\xBB\xBFid,note\r\n   , padded \r\nx,  \r\n");

    // A trailing blank names another table, which does not exist.
    EXPECT_EQ(browser.get("page=table&name=customers%20").status, 404);
    EXPECT_EQ(browser.get("page=export&name=customers%20&format=csv").status, 404);

    if (OnPostgresql())
        return; // PostgreSQL's text holds no NUL
    const Page nul = browser.get("page=table&name=nul");
    EXPECT_TRUE(nul.body.contains("after</td>")) << nul.body.toStdString();
    const Page nulCsv = browser.get("page=export&name=nul&format=csv");
    EXPECT_EQ(nulCsv.content, QByteArray("\xEF\xBB\xBFid,note\r\n1,before\0after\r\n", 28));
    const Page nulJson = browser.get("page=export&name=nul&format=json");
    EXPECT_TRUE(nulJson.content.contains(R"(["1","before\u0000after"])")) << nulJson.content.data();
}

TEST_F(Tables, FindingRowsKeepsTheWholeViewInTheAddress) {
    // Search, a filter, two sort keys, the columns and the page size all travel in every link.
    // (orders has no full-text index: the search scans its text columns)
    const Page page = browser.get("page=table&name=orders&q=2024-0&col1=customer_id&op1=gt&val1=1&"
                                  "sort=customer_id&dir=desc&sort2=ordered_on&cols=customer_id,"
                                  "ordered_on&size=2");
    EXPECT_TRUE(
        page.body.contains("type=\"search\" id=\"table-search\" name=\"q\" value=\"2024-0\""));
    const QString next = QueryOf(LinkTo(page.body, QString::fromUtf8("Next »")));
    for (const char* field :
         {"q=2024-0", "col1=customer_id", "op1=gt", "val1=1", "sort=customer_id", "dir=desc",
          "sort2=ordered_on", "cols=customer_id%2Cordered_on", "size=2"})
        EXPECT_TRUE(next.contains(field)) << field << " " << next.toStdString();
    const Page second = browser.get(next);
    EXPECT_EQ(QueryOf(LinkTo(second.body, QString::fromUtf8("Next »"))).section("offset", 0, 0),
              next.section("offset", 0, 0));
    // Only the columns picked, and the key for the row's link.
    EXPECT_TRUE(page.body.contains("aria-sort=\"descending\""));
    EXPECT_FALSE(page.body.contains(">shipped_on <span"));
    EXPECT_TRUE(page.body.contains("name=\"show.shipped_on\" value=\"1\">"));
    // A heading clicked becomes the first key and keeps the previous first key second.
    const QString byDate = heading(page, "ordered_on");
    EXPECT_TRUE(byDate.contains("sort=ordered_on&sort2=customer_id&dir2=desc"))
        << byDate.toStdString();

    // Last from the total; First back.
    const Page last = browser.get(QueryOf(LinkTo(page.body, QString::fromUtf8("Last »"))));
    const QRegularExpressionMatch range =
        QRegularExpression("Rows (\\d+) to (\\d+) of (\\d+)<").match(last.body);
    EXPECT_EQ(range.captured(2), range.captured(3)) << last.body.toStdString();
    EXPECT_FALSE(LinkTo(last.body, QString::fromUtf8("« First")).isEmpty());
}

TEST_F(Tables, SearchFacetsEmptyFiltersAndRefusedValues) {
    // Words of a name in another order and case, through the sample's full-text index (a
    // word's start alone finds it on SQLite only: Databases/FindRowsTest covers that).
    const Page found = browser.get("page=table&name=products&q=BEANS+espresso");
    EXPECT_TRUE(found.body.contains(" of 1<")) << found.body.toStdString();
    EXPECT_TRUE(found.body.contains(">Espresso beans</td>"));

    // A facet's value adds its filter, and is then marked and removable; a key is named by its
    // label.
    const Page all = browser.get("page=table&name=products");
    const QString facet = QueryOf(LinkTo(all.body, "Bakery (2)"));
    EXPECT_TRUE(facet.contains("col1=category_id&op1=eq&val1=2")) << facet.toStdString();
    const Page filtered = browser.get(facet);
    EXPECT_TRUE(filtered.body.contains(
        "<li class=\"active\" aria-current=\"true\"><strong>Bakery (2)</strong>"));
    EXPECT_FALSE(LinkTo(filtered.body, "remove Bakery (2)").isEmpty());

    const Page empty = browser.get("page=table&name=customers&col1=email&op1=empty");
    const Page notEmpty = browser.get("page=table&name=customers&col1=email&op1=notempty");
    const QRegularExpression total(" of (\\d+)<");
    EXPECT_EQ(total.match(empty.body).captured(1).toInt() +
                  total.match(notEmpty.body).captured(1).toInt(),
              12);
    EXPECT_FALSE(empty.body.contains("UnknownColumn"));

    // A value of the wrong type: the error next to its filter, not "no rows".
    const Page refused =
        browser.get("page=table&name=products&col1=name&op1=contains&val1=e&col2=in_stock&op2=gt&"
                    "val2=many");
    EXPECT_TRUE(refused.body.contains("id=\"filter2-val\" name=\"val2\" value=\"many\" "
                                      "aria-invalid=\"true\" aria-describedby=\"filter2-error\""))
        << refused.body.toStdString();
    EXPECT_TRUE(refused.body.contains("<span class=\"message\" id=\"filter2-error\">"));
    EXPECT_FALSE(refused.body.contains("No rows"));
}
