#include "common/error.h"
#include "common/xmlvalue.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"
#include "tests/support/qtprinters.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using dbsvr::Config;
using dbsvr::MessageHandler;

namespace {

// Queries whose results are sorted and counted by the data server: with their own ORDER BY and
// LIMIT, a parameter, names that need quoting, a name the result holds twice, a comment at the
// end, and rows that never end.
const char ORDER_QUERIES[] = R"xml(
<Query name="FirstTen" title="The first ten" description="By id." label="qFirstTen">
  <Parameter name="unused" type="integer" title="Nothing" description="Ignored." label="qpNone"/>
  <Link column="id" table="customers"/>
  <Sql>SELECT id, name FROM customers ORDER BY id LIMIT 10</Sql>
</Query>
<Query name="OrdersOf" use="choices">
  <Parameter name="customer" type="integer"/>
  <Sql>SELECT id, amount FROM orders WHERE customer_id = :customer ORDER BY id; </Sql>
</Query>
<Query name="Quoted">
  <Sql>SELECT id AS "we""ird", amount AS "two words" FROM orders -- sorted by the caller</Sql>
</Query>
<Query name="TwoIds">
  <Sql>SELECT o.id, c.id, o.amount FROM orders o JOIN customers c ON c.id = o.customer_id</Sql>
</Query>
)xml";

class QueryOrderTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const QString endless =
            "<Query name=\"Endless\"><Sql>WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + "
            "1 FROM c) SELECT i FROM c</Sql></Query>";
        // After the queries, as the file's own element: a short limit for the endless count.
        const QString skip =
            m_data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL,
                          QString(ORDER_QUERIES) + endless +
                              "</Queries><StatementTimeLimit>0.5</StatementTimeLimit><Queries>");
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
        m_db = m_data.open();
    }
    Reply ask(const QString& request) const {
        return Reply(MessageHandler(&m_data.config(), m_db.get()).handle(request.toUtf8()));
    }
    static QString query(const QString& name, const QString& extra) {
        return "<XML><Type>Query</Type><Name>" + name + "</Name>" + extra + "</XML>";
    }
    static QString orderBy(const QString& column, bool descending = false) {
        return "<OrderBy" + QString(descending ? " descending=\"true\"" : "") + ">" +
               column.toHtmlEscaped() + "</OrderBy>";
    }
    TestDatabase m_data{GetParam()};
    std::unique_ptr<dbsvr::Database> m_db;
};

INSTANTIATE_TEST_SUITE_P(Databases, QueryOrderTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

TEST_P(QueryOrderTest, ListQueriesCarriesTextsUseAndLinks) {
    const Reply listed = ask("<XML><Type>ListQueries</Type></XML>");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/@title"), "The first ten");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/@description"), "By id.");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/@label"), "qFirstTen");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/Parameter/@title"), "Nothing");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/Parameter/@label"), "qpNone");
    EXPECT_EQ(listed.text("//Query[@name='FirstTen']/Link[@column='id']/@table"), "customers");
    EXPECT_EQ(listed.text("//Query[@name='OrdersOf']/@use"), "choices");
    // Nothing is said that the configuration does not say.
    EXPECT_EQ(listed.count("//Query[@name='Quoted']/@*"), 2u)
        << listed.raw.constData(); // name, kind
    EXPECT_EQ(listed.count("//Query[@name='OrdersOf']/Parameter/@*"), 2u);
}

// The order wraps the query, whatever its own ORDER BY and LIMIT: those still choose the rows,
// and the total counts what the query gives. Pages follow the order asked for.
TEST_P(QueryOrderTest, OrderAndTotalWrapTheQuerysOwnOrderAndLimit) {
    const Reply byName = ask(query("FirstTen", orderBy("name", true) + "<Total>true</Total>"));
    ASSERT_EQ(byName.text("/XML/Error"), "") << byName.raw.constData();
    EXPECT_EQ(byName.text("/XML/Total"), "10");
    EXPECT_EQ(byName.count("/XML/Rows/Row"), 10u);
    EXPECT_EQ(byName.text("/XML/Rows/Row[1]/Field[@name='name']"), "Zoë <&> \"quoted\"");
    EXPECT_EQ(byName.text("/XML/Rows/Row[10]/Field[@name='name']"), "Customer 1");

    const Reply page =
        ask(query("FirstTen", orderBy("id", true) + "<Offset>3</Offset><Limit>2</Limit>"
                                                    "<Total>1</Total>"));
    EXPECT_EQ(page.text("/XML/Rows/Row[1]/Field[@name='id']"), "7");
    EXPECT_EQ(page.text("/XML/Rows/Row[2]/Field[@name='id']"), "6");
    EXPECT_EQ(page.text("/XML/More"), "true");
    EXPECT_EQ(page.text("/XML/Total"), "10");
    EXPECT_EQ(ask(query("FirstTen", "")).count("/XML/Total"), 0u) << "counted only when asked";

    // With a parameter, a semicolon after the statement and several keys.
    const QString customer = "<Parameters><Parameter name=\"customer\">1</Parameter></Parameters>";
    const Reply orders = ask(query("OrdersOf", customer + orderBy("amount", true) + orderBy("id") +
                                                   "<Total>true</Total>"));
    ASSERT_EQ(orders.text("/XML/Error"), "") << orders.raw.constData();
    EXPECT_EQ(orders.text("/XML/Rows/Row[1]/Field[@name='id']"), "2");
    EXPECT_EQ(orders.text("/XML/Rows/Row[3]/Field[@name='id']"), "4");
    EXPECT_EQ(orders.text("/XML/Total"), "3");
}

// Names are checked against the result's columns and then quoted: a hostile name is refused
// and runs nothing, a name that needs quotes sorts, and one the result holds twice is refused
// as ambiguous. A result keeps its columns' own names when it is sorted.
TEST_P(QueryOrderTest, ColumnNamesAreCheckedBeforeTheyAreQuoted) {
    for (const QString& hostile :
         {QString("id\" DESC; DROP TABLE orders; --"), QString("amount) AS q; DELETE FROM orders"),
          QString("ID"), QString("1")}) {
        const Reply refused = ask(query("Quoted", orderBy(hostile)));
        EXPECT_EQ(refused.text("/XML/Error"), "UnknownColumn") << hostile.toStdString();
    }
    EXPECT_EQ(m_data.value("SELECT count(*) FROM orders"), "4");

    const Reply quoted = ask(query("Quoted", orderBy("we\"ird", true)));
    ASSERT_EQ(quoted.text("/XML/Error"), "") << quoted.raw.constData();
    EXPECT_EQ(quoted.text("/XML/Rows/Row[1]/Field[@name='we\"ird']"), "4");
    // A whole REAL reads 3.0 on SQLite and 3 on PostgreSQL: the id tells the row.
    EXPECT_EQ(ask(query("Quoted", orderBy("two words")))
                  .text("/XML/Rows/Row[1]/Field[@name='we\"ird']"),
              "4");

    EXPECT_EQ(ask(query("TwoIds", orderBy("id"))).text("/XML/Error"), "InvalidArgument");
    const Reply twoIds = ask(query("TwoIds", orderBy("amount")));
    ASSERT_EQ(twoIds.text("/XML/Error"), "") << twoIds.raw.constData();
    EXPECT_EQ(twoIds.text("/XML/Columns/Column[2]"), "id");
    EXPECT_EQ(twoIds.text("/XML/Rows/Row[1]/Field[1]"), "4");
}

// An export keeps the order asked for; a count that never ends stops at the statement time
// limit like every other read.
TEST_P(QueryOrderTest, ExportsFollowTheOrderAndCountsStopAtTheTimeLimit) {
    const QList<QByteArray> parts =
        MessageHandler(&m_data.config(), m_db.get())
            .replies(query("FirstTen", orderBy("id", true) + "<Export>true</Export>").toUtf8());
    ASSERT_EQ(parts.size(), 1);
    const Reply exported(parts[0]);
    EXPECT_EQ(exported.text("/XML/Rows/Row[1]/Field[@name='id']"), "10");
    EXPECT_EQ(exported.text("/XML/Rows/Row[10]/Field[@name='id']"), "1");

    EXPECT_EQ(ask(query("Endless", "<Limit>2</Limit>")).text("/XML/Count"), "2");
    const Reply endless = ask(query("Endless", "<Limit>2</Limit><Total>true</Total>"));
    EXPECT_EQ(endless.text("/XML/Error"), "TimeLimit") << endless.raw.constData();
    EXPECT_EQ(ask(query("FirstTen", "<Total>true</Total>")).text("/XML/Total"), "10");
}

TEST(ConfigFile, ReadsQueryTextsLinksAndChoiceUse) {
    QTemporaryDir dir;
    WriteConfig(dir.path(), "app.db",
                QString(ORDER_QUERIES) +
                    "<Query name=\"Long\"><Title> A  long\n title </Title><Description>Over\n"
                    "  lines.</Description><Sql>SELECT 1</Sql></Query>");
    const Config config = Config::Load(dir.path());
    const dbsvr::NamedQuery* first = config.query("FirstTen");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->texts.title, "The first ten");
    EXPECT_EQ(first->texts.label, "qFirstTen");
    EXPECT_FALSE(first->choicesOnly);
    EXPECT_EQ(first->parameter("unused")->texts.description, "Ignored.");
    ASSERT_EQ(first->links.size(), 1);
    EXPECT_EQ(first->links[0].table, "customers");
    EXPECT_TRUE(config.query("OrdersOf")->choicesOnly);
    EXPECT_EQ(config.query("Long")->texts.title, "A long title");
    EXPECT_EQ(config.query("Long")->texts.description, "Over lines.");

    for (const char* wrong : {
             "<Query name=\"a\" use=\"choice\"><Sql>SELECT 1</Sql></Query>",
             "<Query name=\"a\"><Link column=\"id\"/><Sql>SELECT 1 AS id</Sql></Query>",
             "<Query name=\"a\"><Link table=\"t\"/><Sql>SELECT 1 AS id</Sql></Query>",
             "<Query name=\"a\"><Link column=\"id\" table=\"t\"/><Link column=\"id\" "
             "table=\"u\"/><Sql>SELECT 1 AS id</Sql></Query>",
         }) {
        WriteConfig(dir.path(), "app.db", QString::fromUtf8(wrong));
        EXPECT_THROW(Config::Load(dir.path()), common::Error) << wrong;
    }
}

} // namespace
