// The chart pages of the example application through the real component and data server:
// each example chart as a person would read it, the list and the menu, the parameter form,
// charts placed in a page, access, reuse of kept replies and charts that cannot be drawn.
#include "common/files.h"
#include "components/dataversion.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "webappfixture.h"

#include <QDir>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

// The heights of the bars in the order they are drawn.
QList<double> barHeights(const QString& html) {
    static const QRegularExpression bar(
        QStringLiteral("<rect class=\"bar [^>]* height=\"([0-9.]+)\""));
    QList<double> heights;
    for (const QRegularExpressionMatch& m : bar.globalMatch(html))
        heights.append(m.captured(1).toDouble());
    return heights;
}

// The values of the data table's column, in row order, as numbers.
QList<double> tableValues(const QString& html, const QString& column) {
    const QRegularExpression cell("<td data-label=\"" + QRegularExpression::escape(column) +
                                  "\" class=\"num\">([-0-9.,]+)</td>");
    QList<double> values;
    for (const QRegularExpressionMatch& m : cell.globalMatch(html))
        values.append(m.captured(1).remove(',').toDouble());
    return values;
}

void expectProportional(const QList<double>& heights, const QList<double>& values) {
    ASSERT_EQ(heights.size(), values.size());
    ASSERT_FALSE(values.isEmpty());
    for (qsizetype i = 0; i < values.size(); ++i)
        EXPECT_NEAR(heights[i] / heights[0], values[i] / values[0], 0.02) << i;
}

// Extra queries of the tests: one with a parameter, hostile texts, and one that can hold
// many categories.
const char QUERIES[] =
    "<Query name=\"StockUnder\"><Parameter name=\"limit\" type=\"integer\"/>"
    "<Sql>SELECT name, in_stock FROM products WHERE in_stock &lt; :limit ORDER BY name</Sql>"
    "</Query>"
    "<Query name=\"Hostile\"><Sql>SELECT '&lt;img src=x onerror=alert(1)&gt;' AS c, 3 AS v"
    "</Sql></Query>"
    "<Query name=\"Nothing\"><Sql>SELECT name AS c, in_stock AS v FROM products WHERE 0 = 1"
    "</Sql></Query>";

void saveChart(const ExampleApplication& app, const QString& name, const QByteArray& xml) {
    QDir().mkpath(app.folder() + "/charts");
    common::SaveFile(app.folder() + "/charts/" + name + ".xml", xml);
}

class ChartPages : public ::testing::Test {
protected:
    ExampleApplication app{QUERIES};
    Browser browser{app};
    void SetUp() override { ASSERT_TRUE(app.ready()); }
};

} // namespace

TEST_F(ChartPages, ExampleChartsShowTheirDataInOrderAndInProportion) {
    const Page months = browser.get("page=chart&name=orderspermonth");
    ASSERT_EQ(months.status, 200) << months.body.toStdString();
    EXPECT_TRUE(months.body.contains("<h1>Orders per month</h1>"));
    EXPECT_TRUE(months.body.contains("role=\"img\""));
    EXPECT_TRUE(months.body.contains(
        QRegularExpression(">2024-01</text>.*>2024-02</text>.*>2024-03</text>")));
    EXPECT_EQ(tableValues(months.body, "Orders"), QList<double>({3, 4, 7}));
    expectProportional(barHeights(months.body), {3, 4, 7});
    EXPECT_TRUE(months.body.contains("<title>2024-03, Orders: 7</title>"));

    const Page revenue = browser.get("page=chart&name=revenuepercountry");
    ASSERT_EQ(revenue.status, 200);
    const QList<double> values = tableValues(revenue.body, "Revenue");
    ASSERT_EQ(values.size(), 10); // the countries with orders: all but Italy
    expectProportional(barHeights(revenue.body), values);
    for (qsizetype i = 1; i < values.size(); ++i)
        EXPECT_GE(values[i - 1], values[i]); // the largest first
    EXPECT_TRUE(revenue.body.contains(QRegularExpression("class=\"num\">[0-9]+\\.[0-9]{2}</td>")));

    const Page stock = browser.get("page=chart&name=stockpercategory");
    ASSERT_EQ(stock.status, 200);
    EXPECT_EQ(stock.body.count("<path class=\"slice"), 5);
    EXPECT_EQ(tableValues(stock.body, "Items in stock"), QList<double>({130, 545, 245, 120, 335}));
    EXPECT_TRUE(stock.body.contains("<title>Beverages, Items in stock: 545</title>"));
    EXPECT_TRUE(stock.body.contains("<span class=\"swatch series-2\"></span>Beverages</li>"));

    // German texts and notation.
    Browser german(app,
                   QString::fromUtf8(common::ReadFile(support::StageDir() + "/language/de.xml")));
    const Page de = german.get("page=chart&name=revenuepercountry");
    EXPECT_TRUE(de.body.contains("<h1>Umsatz pro Land</h1>"));
    EXPECT_TRUE(de.body.contains(QRegularExpression("class=\"num\">[0-9.]+,[0-9]{2}</td>")));
}

TEST_F(ChartPages, ListMenuAndHomePageShowTheCharts) {
    const Page list = browser.get("page=charts");
    ASSERT_EQ(list.status, 200);
    EXPECT_TRUE(list.body.contains("href=\"/?page=charts\" aria-current=\"page\">Charts</a>"));
    EXPECT_TRUE(
        support::ContainsInOrder(list.body, {">Orders per month</a>", ">Revenue per country</a>",
                                             ">Stock per category</a>"}));
    EXPECT_TRUE(browser.get("page=chart&name=orderspermonth")
                    .body.contains("href=\"/?page=charts\" aria-current=\"page\">Charts</a>"));

    // The queries only charts read are not listed as queries.
    const Page queries = browser.get("page=queries");
    for (const char* hidden : {"OrdersPerMonth", "StockPerCategory", "RevenuePerCountry"})
        EXPECT_FALSE(queries.body.contains(hidden)) << hidden;

    const Page home = browser.get("");
    EXPECT_TRUE(home.body.contains("<h2><a href=\"/?page=chart&amp;name=orderspermonth\">"
                                   "Orders per month</a></h2>"));
    EXPECT_TRUE(home.body.contains("<svg class=\"chart\""));
    EXPECT_EQ(barHeights(home.body).size(), 3);

    // A placeholder of a name that is not a plain chart name, or of no chart, draws nothing
    // but says so; the rest of the page stays.
    common::SaveFile(app.folder() + "/pages/two.htm",
                     "<p>before</p><!-- chart: ../pages/two --><!--chart:nosuch-->"
                     "<!--chart:orderspermonth--><!--chart:stockpercategory--><p>after</p>");
    const Page two = browser.get("page=page&name=two");
    EXPECT_TRUE(support::ContainsInOrder(two.body, {"<p>before</p>", "no chart ../pages/two",
                                                    "no chart nosuch", "chart-3-title",
                                                    "chart-4-title", "<p>after</p>"}));
}

TEST_F(ChartPages, AChartOfAQueryWithParametersAsksForThemFirst) {
    saveChart(app, "lowstock", R"(<Chart query="StockUnder" type="line"><Title>Scarce</Title>
      <Category column="name"/><Series column="in_stock"/></Chart>)");
    const Page form = browser.get("page=chart&name=lowstock");
    EXPECT_TRUE(form.body.contains("<input type=\"hidden\" name=\"page\" value=\"chart\">"
                                   "<input type=\"hidden\" name=\"name\" value=\"lowstock\">"));
    EXPECT_TRUE(form.body.contains("name=\"p.limit\""));
    EXPECT_FALSE(form.body.contains("<svg"));

    const Page wrong = browser.get("page=chart&name=lowstock&p.limit=lots&run=1");
    EXPECT_TRUE(wrong.body.contains("Please enter a whole number."));
    EXPECT_FALSE(wrong.body.contains("<svg"));

    const Page drawn = browser.get("page=chart&name=lowstock&p.limit=30&run=1");
    EXPECT_TRUE(drawn.body.contains("value=\"30\""));
    EXPECT_EQ(drawn.body.count("<circle class=\"point"), 3); // honey, sea salt, sourdough
    EXPECT_TRUE(drawn.body.contains("<title>Sea salt, in_stock: 0</title>"));

    const Page none = browser.get("page=chart&name=lowstock&p.limit=0&run=1");
    EXPECT_TRUE(none.body.contains("There are no values to chart."));
    EXPECT_FALSE(none.body.contains("<svg"));

    // On a page, only the way to it.
    common::SaveFile(app.folder() + "/pages/low.htm", "<!--chart:lowstock-->");
    const Page placed = browser.get("page=page&name=low");
    EXPECT_TRUE(placed.body.contains(">Scarce</a></h2>"));
    EXPECT_FALSE(placed.body.contains("<svg"));
}

TEST_F(ChartPages, HostileTextsAreEscapedAndBrokenChartsSayWhatIsWrong) {
    saveChart(app, "hostile",
              R"(<Chart query="Hostile"><Title>&lt;script&gt;x()&lt;/script&gt;</Title>
      <Category column="c"/><Series column="v"/></Chart>)");
    const Page hostile = browser.get("page=chart&name=hostile");
    EXPECT_EQ(hostile.status, 200);
    EXPECT_FALSE(hostile.body.contains("<img src=x"));
    EXPECT_FALSE(hostile.body.contains("<script>x()"));
    EXPECT_TRUE(hostile.body.contains("&lt;img src=x onerror=alert(1)&gt;"));
    EXPECT_EQ(barHeights(hostile.body).size(), 1);

    saveChart(app, "empty",
              R"(<Chart query="Nothing"><Category column="c"/><Series column="v"/></Chart>)");
    EXPECT_TRUE(
        browser.get("page=chart&name=empty").body.contains("There are no values to chart."));

    const struct {
        const char* name;
        const char* xml;
        int status;
        const char* says;
    } cases[] = {
        {"broken", "<Chart query=\"Hostile\"", 500, "cannot be read as XML"},
        {"write",
         R"(<Chart query="UpdateStock"><Category column="c"/><Series column="v"/></Chart>)", 500,
         "not a read query"},
        {"gone", R"(<Chart query="NoSuchQuery"><Category column="c"/><Series column="v"/></Chart>)",
         500, "not a read query"},
        {"column", R"(<Chart query="Hostile"><Category column="c"/><Series column="w"/></Chart>)",
         200, "no column w"},
    };
    for (const auto& c : cases) {
        saveChart(app, c.name, c.xml);
        const Page page = browser.get(QString("page=chart&name=") + c.name);
        EXPECT_EQ(page.status, c.status) << c.name;
        EXPECT_TRUE(page.body.contains(c.says)) << c.name << page.body.toStdString();
        EXPECT_TRUE(page.body.contains(QString("The chart definition ") + c.name + ".xml"))
            << c.name;
    }
    EXPECT_EQ(browser.get("page=chart&name=nosuch").status, 404);
    EXPECT_EQ(browser.get("page=chart&name=..%2Faccess").status, 404);
    // The list still lists a chart it cannot read, by name: its page says what is wrong.
    EXPECT_TRUE(browser.get("page=charts").body.contains(">broken</a>"));
}

// A chart is seen by whoever may use its query.
TEST_F(ChartPages, AccessFollowsTheChartsQuery) {
    common::SaveFile(app.folder() + "/access.xml",
                     "<Access><Defaults tables=\"anonymous\" queries=\"anonymous\"/>"
                     "<Query name=\"RevenuePerCountry\" allow=\"reader\"/></Access>");
    browser.anonymous();
    EXPECT_FALSE(browser.get("page=charts").body.contains("Revenue per country"));
    EXPECT_EQ(browser.get("page=chart&name=revenuepercountry").status, 403);
    EXPECT_EQ(browser.get("page=chart&name=orderspermonth").status, 200);
    common::SaveFile(app.folder() + "/pages/revenue.htm", "<p>x</p><!--chart:revenuepercountry-->");
    EXPECT_FALSE(browser.get("page=page&name=revenue").body.contains("<svg"));

    common::SaveFile(app.folder() + "/access.xml",
                     "<Access><Defaults tables=\"anonymous\" queries=\"nobody\"/></Access>");
    const Page refused = browser.get("page=charts");
    EXPECT_EQ(refused.status, 403);
    EXPECT_FALSE(browser.get("page=tables").body.contains("page=charts"));
}

// Asked again while the data is unchanged, a chart comes from the replies kept for it: even
// while the data server is stopped.
TEST_F(ChartPages, AnUnchangedChartIsAnsweredFromKeptReplies) {
    const auto version = [&] { return components::ReadDataVersion(app.inQueue()); };
    ASSERT_TRUE(support::Eventually([&] { return !version().isEmpty(); }));
    const QString chart = "page=chart&name=revenuepercountry";
    const Page first = browser.get(chart);
    ASSERT_EQ(first.status, 200);
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGSTOP), 0);
    const Page again = browser.get(chart);
    ASSERT_EQ(::kill(pid_t(app.dataServerPid()), SIGCONT), 0);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, first.body);
}
