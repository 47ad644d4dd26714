#include "common/error.h"
#include "common/xmlvalue.h"
#include "components/replyparts.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>

using dbsvr::Config;
using dbsvr::Database;
using dbsvr::MessageHandler;

namespace {

// Every message on every kind of database: the same requests, the same replies.
class MessageHandlerTest : public TestSchemaTest {
protected:
    QString pick(const QString& sqlite, const QString& postgresql) const {
        return m_data.pick(sqlite, postgresql);
    }
    bool ledgerExists() const {
        return m_data.value(pick("SELECT 1 FROM sqlite_master WHERE name = 'quorvex_requests'",
                                 "SELECT to_regclass('quorvex_requests')")) != "";
    }
    Reply readTable(const QString& name, const QString& extra = {}) const {
        return ask(table(name, extra));
    }
    static QString table(const QString& name, const QString& extra = {}) {
        return "<XML><Type>ReadTable</Type><Table>" + name.toHtmlEscaped() + "</Table>" + extra +
               "</XML>";
    }
    static QString describe(const QString& name) {
        return "<XML><Type>DescribeTable</Type><Table>" + name.toHtmlEscaped() + "</Table></XML>";
    }
    static QString filter(const QString& column, const QString& op, const QString& value,
                          bool isNull = false) {
        return "<Filter column=\"" + column.toHtmlEscaped() + "\" op=\"" + op + "\"" +
               (isNull ? " null=\"true\"" : "") + ">" + value.toHtmlEscaped() + "</Filter>";
    }
    static QString query(const QString& name, const QString& parameters = {},
                         const QString& extra = {}) {
        return "<XML><Type>Query</Type><Name>" + name.toHtmlEscaped() + "</Name><Parameters>" +
               parameters + "</Parameters>" + extra + "</XML>";
    }
};

INSTANTIATE_TEST_SUITE_P(Databases, MessageHandlerTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

TEST_P(MessageHandlerTest, PingAnswersPongWithoutError) {
    const Reply r = ask("<XML><Type>Ping</Type></XML>");
    EXPECT_EQ(r.text("/XML/Type"), "Pong");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.count("/XML/Error"), 1u);
    EXPECT_TRUE(r.text("/XML/Message").contains(m_data.name())) << r.raw.constData();
}

TEST_P(MessageHandlerTest, ListTablesGivesTablesAndViewsOnly) {
    // Neither sqlite_sequence nor the sequence behind a serial is a table.
    m_data.exec(pick("CREATE TABLE t_auto (id INTEGER PRIMARY KEY AUTOINCREMENT);",
                     "CREATE TABLE t_auto (id SERIAL PRIMARY KEY);"));
    const Reply r = ask("<XML><Type>ListTables</Type></XML>");
    EXPECT_EQ(r.text("/XML/Type"), "Tables");
    EXPECT_EQ(r.count("/XML/Tables/Table"), 5u);
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customer_orders']/@type"), "view");
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customers']/@type"), "table");
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customers']/@rows"), "25");
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customer_orders']/@rows"), "4");
    EXPECT_EQ(r.text("/XML/Tables/Table[.='t_auto']/@rows"), "0");
    EXPECT_EQ(r.count("/XML/Tables/Table[starts-with(., 'sqlite_')]"), 0u);
}

TEST_P(MessageHandlerTest, ReadTablePagesInStableOrder) {
    const Reply first = readTable("customers", "<Offset>0</Offset><Limit>10</Limit>");
    EXPECT_EQ(first.text("/XML/Error"), "");
    EXPECT_EQ(first.count("/XML/Rows/Row"), 10u);
    EXPECT_EQ(first.text("/XML/Rows/Row[1]/Field[@name='id']"), "1");
    EXPECT_EQ(first.text("/XML/Total"), "25");
    EXPECT_EQ(first.text("/XML/More"), "true");
    EXPECT_EQ(first.count("/XML/Columns/Column"), 4u);

    const Reply last = readTable("customers", "<Offset>20</Offset><Limit>10</Limit>");
    EXPECT_EQ(last.count("/XML/Rows/Row"), 5u);
    EXPECT_EQ(last.text("/XML/Rows/Row[1]/Field[@name='id']"), "21");
    EXPECT_EQ(last.text("/XML/Count"), "5");
    EXPECT_EQ(last.text("/XML/More"), "false");

    const Reply beyond = readTable("customers", "<Offset>100</Offset>");
    EXPECT_EQ(beyond.text("/XML/Error"), "");
    EXPECT_EQ(beyond.count("/XML/Rows/Row"), 0u);
    EXPECT_EQ(beyond.count("/XML/Columns/Column"), 4u); // columns even without rows

    const Reply byName = readTable("customers", "<OrderBy>id</OrderBy><Descending>true</Descending>"
                                                "<Limit>1</Limit>");
    EXPECT_EQ(byName.text("/XML/Rows/Row/Field[@name='id']"), "25");
    // A real name that needs quoting is read; views page too, without a rowid.
    EXPECT_EQ(readTable("odd \"name\"").text("/XML/Rows/Row/Field[@name='value']"), "inside");
    EXPECT_EQ(readTable("customer_orders").text("/XML/Total"), "4");
}

TEST_P(MessageHandlerTest, ReadTableKeepsValuesExactAndCapsTheLimit) {
    const Reply r = readTable("customers", "<Offset>2</Offset><Limit>3</Limit>");
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='email']/@null"), "true");
    // A page gives a BLOB's size, not its bytes.
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']/@type"), "blob");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']/@length"), "3");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']"), "");
    EXPECT_EQ(r.text("/XML/Rows/Row[3]/Field[@name='name']"),
              QString::fromUtf8("Zoë <&> \"quoted\""));
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='email']/@null"), "");

    m_data.exec("WITH RECURSIVE n(i) AS (SELECT 26 UNION ALL SELECT i + 1 FROM n "
                "WHERE i < 1100) INSERT INTO customers (id, name) SELECT i, 'x' FROM n;");
    const Reply capped = readTable("customers", "<Limit>5000</Limit>");
    EXPECT_EQ(capped.text("/XML/Limit"), QString::number(dbsvr::MAX_LIMIT));
    EXPECT_EQ(capped.count("/XML/Rows/Row"), size_t(dbsvr::MAX_LIMIT));
    EXPECT_EQ(readTable("customers").count("/XML/Rows/Row"), size_t(dbsvr::DEFAULT_LIMIT));
}

// Every refusal is a whole error reply (no rows), and none of them runs or changes anything.
TEST_P(MessageHandlerTest, RefusedRequestsGetAnErrorReplyAndChangeNothing) {
    const QString customer = "<Parameter name=\"customer\">1</Parameter>";
    const struct {
        QString request;
        const char* error;
    } cases[] = {
        {"", "InvalidRequest"},
        {"not xml", "InvalidRequest"},
        {"<XML><Type>Ping</Type>", "InvalidRequest"},
        {"<XML/>", "InvalidRequest"},
        {"<XML><Type>DropEverything</Type></XML>", "InvalidRequest"},
        // Table and column names must be in the schema, exactly.
        {table("customers; DROP TABLE customers"), "UnknownTable"},
        {table("customers\" --"), "UnknownTable"},
        {table("customers WHERE 1=1"), "UnknownTable"},
        {table("sqlite_master"), "UnknownTable"},
        {table(""), "UnknownTable"},
        {table("Customers"), "UnknownTable"},
        {table("(SELECT * FROM customers)"), "UnknownTable"},
        // Blanks are part of a name: "customers " is not customers.
        {table("customers "), "UnknownTable"},
        {table(" customers"), "UnknownTable"},
        {describe("customers "), "UnknownTable"},
        {table("customers", "<OrderBy>id </OrderBy>"), "UnknownColumn"},
        {table("customers", filter(" id", "eq", "1")), "UnknownColumn"},
        {table("customers", "<OrderBy>id; DROP TABLE customers</OrderBy>"), "UnknownColumn"},
        {table("customers", "<Limit>-1</Limit>"), "InvalidArgument"},
        {table("customers", "<Offset>ten</Offset>"), "InvalidArgument"},
        {table("customers", "<Limit>1 OR 1=1</Limit>"), "InvalidArgument"},
        {table("customers", filter("nope", "eq", "1")), "UnknownColumn"},
        {table("customers", filter("id\" OR 1=1 --", "eq", "1")), "UnknownColumn"},
        {table("customers", "<Filter op=\"eq\">1</Filter>"), "UnknownColumn"},
        {table("customers", filter("id", "like", "1")), "InvalidArgument"},
        {table("customers", filter("id", "EQ", "1")), "InvalidArgument"},
        {table("customers", "<Filter column=\"id\">1</Filter>"), "InvalidArgument"},
        {table("customers", filter("id", "lt", "", true)), "InvalidArgument"},
        {describe("nope"), "UnknownTable"},
        {describe("sqlite_master"), "UnknownTable"},
        // Only configured queries run, with exactly their typed parameters.
        {query("Nope"), "UnknownQuery"},
        {query("SELECT * FROM customers"), "UnknownQuery"},
        {query("ordersof"), "UnknownQuery"},
        {query(""), "UnknownQuery"},
        {query("OrdersOf"), "MissingParameter"},
        {query("OrdersOf", customer + "<Parameter name=\"extra\">2</Parameter>"),
         "UnknownParameter"},
        {query("OrdersOf", customer + customer), "InvalidArgument"},
        {query("OrdersOf", "<Parameter name=\"customer\">1 OR 1=1</Parameter>"), "InvalidArgument"},
        {query("AddOrder", customer + "<Parameter name=\"amount\">1</Parameter>",
               "<RequestId>" + QString(dbsvr::MAX_REQUEST_ID + 1, 'x') + "</RequestId>"),
         "InvalidArgument"},
        // A configured text holding two statements runs neither.
        {query("TwoStatements"), "DatabaseError"},
        {query("Unnamed"), "DatabaseError"},
    };
    for (const auto& c : cases) {
        const Reply r = ask(c.request);
        EXPECT_EQ(r.text("/XML/Type"), "Error") << c.request.toStdString();
        EXPECT_EQ(r.text("/XML/Error"), c.error) << c.request.toStdString();
        EXPECT_FALSE(r.text("/XML/Message").isEmpty()) << c.request.toStdString();
        EXPECT_EQ(r.count("/XML/Rows"), 0u) << c.request.toStdString();
    }
    EXPECT_EQ(readTable("customers").text("/XML/Total"), "25");
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "4");
}

TEST_P(MessageHandlerTest, NamedQueryBindsTypedParametersNeverAsSql) {
    const Reply r = ask(query("OrdersOf", "<Parameter name=\"customer\">1</Parameter>"));
    EXPECT_EQ(r.text("/XML/Type"), "Rows");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.count("/XML/Rows/Row"), 3u);
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='amount']"), "10.5");
    EXPECT_EQ(r.text("/XML/More"), "false");

    const Reply text =
        ask(query("CustomerByName", "<Parameter name=\":name\">Customer 7</Parameter>"));
    EXPECT_EQ(text.text("/XML/Rows/Row/Field[@name='id']"), "7");

    const Reply paged = ask(query("AllCustomers", "", "<Offset>20</Offset><Limit>3</Limit>"));
    EXPECT_EQ(paged.text("/XML/Rows/Row[1]/Field[@name='id']"), "21");
    EXPECT_EQ(paged.text("/XML/Count"), "3");
    EXPECT_EQ(paged.text("/XML/More"), "true");

    for (const char* name : {"<Parameter name=\"name\">x' OR '1'='1</Parameter>",
                             "<Parameter name=\"name\">'; DROP TABLE customers; --</Parameter>",
                             "<Parameter name=\"name\" null=\"true\">x</Parameter>"}) {
        const Reply none = ask(query("CustomerByName", name));
        EXPECT_EQ(none.text("/XML/Error"), "") << name;
        EXPECT_EQ(none.count("/XML/Rows/Row"), 0u) << name;
    }
    EXPECT_EQ(readTable("customers").text("/XML/Total"), "25");
}

TEST_P(MessageHandlerTest, ListQueriesShowsParametersButNoSql) {
    const Reply listed = ask("<XML><Type>ListQueries</Type></XML>");
    EXPECT_EQ(listed.count("/XML/Queries/Query"), 8u);
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='OrdersOf']/Parameter/@type"), "integer");
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='OrdersOf']/@kind"), "read");
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='AddOrder']/@kind"), "write");
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='RenameCustomer']/@kind"), "write");
    // SQL the database refuses has no kind, and does not spoil the list.
    EXPECT_EQ(listed.count("/XML/Queries/Query[@name='TwoStatements']/@kind"), 0u);
    EXPECT_EQ(listed.count("//Sql"), 0u);
}

TEST_P(MessageHandlerTest, FiltersApplyTogetherWithTheColumnsAffinity) {
    const struct {
        const char* table;
        QString filters;
        int total;
    } cases[] = {
        // Text compared the way SQLite compares a bound value with the column: "5" is 5.
        {"customers", filter("id", "eq", "5"), 1},
        {"customers", filter("id", "lt", "10"), 9},
        {"customers", filter("id", "le", "10"), 10},
        {"customers", filter("id", "gt", "20"), 5},
        {"customers", filter("id", "ge", "20"), 6},
        {"customers", filter("id", "gt", "3") + filter("id", "lt", "7"), 3},
        {"orders", filter("amount", "eq", "20"), 1},
        // A view's expression has no affinity: a number in the text is compared as one.
        {"customer_orders", filter("doubled", "gt", "20"), 2},
        // ne keeps the rows without a value: NULL is not c1@example.com either.
        {"customers", filter("email", "ne", "c1@example.com"), 24},
        {"customers", filter("id", "ne", "5"), 24},
        {"customers", filter("email", "eq", "", true), 1},
        {"customers", filter("email", "ne", "", true), 24},
        // contains: any case, and % and _ are plain characters.
        {"customers", filter("name", "contains", "CUSTOMER 1"), 11},
        {"customers", filter("name", "contains", QString::fromUtf8("ZOË")), 1},
        {"customers", filter("name", "contains", "%"), 1},
        {"customers", filter("name", "contains", "f_p"), 1},
        {"customers", filter("name", "contains", "H%e"), 0},
        {"customers", filter("name", "contains", "_"), 1},
        {"customers", filter("email", "contains", "@EXAMPLE."), 24},
        {"customers", filter("id", "contains", "2"), 8},
        {"customers", filter("name", "contains", "customer") + filter("email", "eq", "", true), 1},
    };
    for (const auto& c : cases) {
        const Reply r = readTable(c.table, c.filters + "<Limit>5</Limit>");
        const std::string what = c.table + (" " + c.filters.toStdString());
        EXPECT_EQ(r.text("/XML/Error"), "") << what << r.text("/XML/Message").toStdString();
        EXPECT_EQ(r.text("/XML/Total"), QString::number(c.total)) << what;
        EXPECT_EQ(r.text("/XML/Count"), QString::number(std::min(c.total, 5))) << what;
        EXPECT_EQ(r.text("/XML/More"), c.total > 5 ? "true" : "false") << what;
    }
    const Reply ordered =
        readTable("customers", filter("name", "contains", "customer 1") +
                                   "<OrderBy>id</OrderBy><Descending>true</"
                                   "Descending><Offset>1</Offset><Limit>2</Limit>");
    EXPECT_EQ(ordered.text("/XML/Rows/Row[1]/Field[@name='id']"), "18");
    EXPECT_EQ(ordered.text("/XML/Rows/Row[2]/Field[@name='id']"), "17");
}

TEST_P(MessageHandlerTest, DescribeTableOfAViewAndOfImpliedKeys) {
    const Reply view = ask(describe("customer_orders"));
    EXPECT_EQ(view.text("/XML/Type"), "Table");
    EXPECT_EQ(view.text("/XML/Table/@type"), "view");
    EXPECT_EQ(view.count("/XML/Columns/Column"), 3u);
    EXPECT_EQ(view.text("/XML/Columns/Column[@name='amount']/@type"),
              pick("REAL", "double precision"));
    EXPECT_EQ(view.count("/XML/Columns/Column[@pk!='0' or @notnull='true']"), 0u);
    EXPECT_EQ(view.count("/XML/ForeignKeys/*"), 0u);
    EXPECT_EQ(view.count("/XML/ReferencedBy/*"), 0u);

    // "REFERENCES customers" names no column: it means the primary key, from both ends.
    const Reply orders = ask(describe("orders"));
    EXPECT_EQ(orders.text("/XML/ForeignKeys/ForeignKey[@table='customers']/Map/@from"),
              "customer_id");
    EXPECT_EQ(orders.text("/XML/ForeignKeys/ForeignKey[@table='customers']/Map/@to"), "id");
    const Reply customers = ask(describe("customers"));
    EXPECT_EQ(customers.text("/XML/ReferencedBy/Reference[@table='orders']/Map/@to"), "id");
    EXPECT_EQ(customers.text("/XML/Columns/Column[@name='id']/@notnull"), "true");
    EXPECT_EQ(customers.text("/XML/Columns/Column[@name='name']/@notnull"), "true");
    EXPECT_EQ(customers.text("/XML/Columns/Column[@name='email']/@notnull"), "false");
    EXPECT_EQ(customers.text("/XML/Columns/Column[@name='photo']/@type"), pick("BLOB", "bytea"));
    EXPECT_EQ(ask(describe("odd \"name\"")).text("/XML/Columns/Column/@name"), "value");
}

// Writes with a request id are applied once, however often the request comes.
TEST_P(MessageHandlerTest, WriteWithRequestIdIsAppliedOnce) {
    const QString order = "<Parameter name=\"customer\">2</Parameter>"
                          "<Parameter name=\"amount\">1.25</Parameter>";
    const QString add = query("AddOrder", order, "<RequestId>form-1</RequestId>");
    const Reply first = ask(add);
    EXPECT_EQ(first.text("/XML/Error"), "");
    EXPECT_EQ(first.text("/XML/Changes"), "1");
    EXPECT_EQ(first.text("/XML/LastInsertId"), "5");
    EXPECT_EQ(first.count("/XML/Duplicate"), 0u);
    EXPECT_EQ(first.count("/XML/Rows"), 0u);
    const Reply again = ask(add);
    EXPECT_EQ(again.text("/XML/Error"), "");
    EXPECT_EQ(again.text("/XML/Name"), "AddOrder");
    EXPECT_EQ(again.text("/XML/Changes"), "1");
    EXPECT_EQ(again.text("/XML/LastInsertId"), "5");
    EXPECT_EQ(again.text("/XML/Duplicate"), "true");
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "5");

    // Another id is another write; without one, every request writes.
    EXPECT_EQ(
        ask(query("AddOrder", order, "<RequestId>form-2</RequestId>")).text("/XML/LastInsertId"),
        "6");
    EXPECT_EQ(ask(query("AddOrder", order)).text("/XML/LastInsertId"), "7");
    EXPECT_EQ(ask(query("AddOrder", order)).text("/XML/LastInsertId"), "8");
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "8");
    // An update inserts nothing: no id of an earlier insert shows through.
    const Reply renamed = ask(query("RenameCustomer",
                                    "<Parameter name=\"id\">2</Parameter>"
                                    "<Parameter name=\"name\">B</Parameter>",
                                    "<RequestId>form-3</RequestId>"));
    EXPECT_EQ(renamed.text("/XML/Changes"), "1");
    EXPECT_EQ(renamed.count("/XML/LastInsertId"), 1u);
    EXPECT_EQ(renamed.text("/XML/LastInsertId"), "");
    EXPECT_EQ(ask(query("RenameCustomer",
                        "<Parameter name=\"id\">2</Parameter>"
                        "<Parameter name=\"name\">C</Parameter>",
                        "<RequestId>form-3</RequestId>"))
                  .text("/XML/Duplicate"),
              "true");
    EXPECT_EQ(readTable("customers", filter("id", "eq", "2")).text("//Field[@name='name']"), "B");
    // Reads are never noted.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(
            ask(query("AllCustomers", {}, "<RequestId>form-1</RequestId>")).text("/XML/Count"),
            "25");

    EXPECT_EQ(m_data.value("SELECT count(*) FROM quorvex_requests"), "3");
    for (const char* entry :
         {"form-1:AddOrder:1:5", "form-2:AddOrder:1:6", "form-3:RenameCustomer:1:-1"})
        EXPECT_EQ(m_data.value(QString("SELECT id || ':' || query || ':' || changes || ':' || "
                                       "coalesce(last_insert_id, -1) FROM quorvex_requests "
                                       "WHERE id = '%1'")
                                   .arg(QString(entry).section(':', 0, 0))),
                  entry);
    // The ledger is the server's own.
    EXPECT_EQ(ask("<XML><Type>ListTables</Type></XML>").count("//Table[.='quorvex_requests']"), 0u);
    EXPECT_EQ(readTable("quorvex_requests").text("/XML/Error"), "UnknownTable");
    EXPECT_EQ(ask(describe("quorvex_requests")).text("/XML/Error"), "UnknownTable");
}

// Web servers that share a database each have a data server of their own: a request
// re-sent to another one is still applied once.
TEST_P(MessageHandlerTest, RequestIdCountsOnceAcrossDataServersOfOneDatabase) {
    const std::unique_ptr<Database> other = m_data.open();
    const QString add = query("AddOrder",
                              "<Parameter name=\"customer\">1</Parameter>"
                              "<Parameter name=\"amount\">2</Parameter>",
                              "<RequestId>shared</RequestId>");
    EXPECT_EQ(ask(add).text("/XML/LastInsertId"), "5");
    const Reply again(MessageHandler(&m_data.config(), other.get()).handle(add.toUtf8()));
    EXPECT_EQ(again.text("/XML/Duplicate"), "true") << again.raw.constData();
    EXPECT_EQ(again.text("/XML/LastInsertId"), "5");
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "5");
}

// A write that fails leaves nothing behind, its ledger entry included, so the
// same request may be sent again once it can succeed.
TEST_P(MessageHandlerTest, FailedWriteLeavesNothingAndMayBeSentAgain) {
    EXPECT_EQ(ask(query("AddCustomer", "<Parameter name=\"name\">A</Parameter>"))
                  .text("/XML/LastInsertId"),
              "26");
    EXPECT_FALSE(ledgerExists()); // without a request id, no ledger

    const QString id = "<RequestId>" + QString(dbsvr::MAX_REQUEST_ID, 'x') + "</RequestId>";
    const Reply failed = ask(query("AddCustomer", "<Parameter name=\"name\" null=\"true\"/>", id));
    EXPECT_EQ(failed.text("/XML/Error"), "DatabaseError");
    EXPECT_TRUE(failed.text("/XML/Message").contains("AddCustomer")) << failed.raw.constData();
    EXPECT_FALSE(ledgerExists());

    const Reply retried = ask(query("AddCustomer", "<Parameter name=\"name\">B</Parameter>", id));
    EXPECT_EQ(retried.text("/XML/Error"), "");
    EXPECT_EQ(retried.count("/XML/Duplicate"), 0u);
    EXPECT_EQ(readTable("customers").text("/XML/Total"), "27");
}

TEST_P(MessageHandlerTest, ReadOnlyDatabaseRefusesWritesAndStillReads) {
    const auto askAll = [this](Database& db) {
        const MessageHandler handler(&m_data.config(), &db);
        QStringList out;
        for (const QString& request :
             {query("AddOrder",
                    "<Parameter name=\"customer\">2</Parameter>"
                    "<Parameter name=\"amount\">1</Parameter>",
                    "<RequestId>r</RequestId>"),
              query("AllCustomers"), QString("<XML><Type>Ping</Type></XML>")})
            out << QString::fromUtf8(handler.handle(request.toUtf8()));
        return out;
    };
    const QStringList replies = m_data.readOnly(askAll);
    ASSERT_EQ(replies.size(), 3);
    EXPECT_EQ(Reply(replies[0].toUtf8()).text("/XML/Error"), "DatabaseError")
        << replies[0].toStdString();
    EXPECT_EQ(Reply(replies[1].toUtf8()).text("/XML/Count"), "25") << replies[1].toStdString();
    EXPECT_TRUE(Reply(replies[2].toUtf8()).text("/XML/Message").contains("read-only"))
        << replies[2].toStdString();
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "4");
    EXPECT_FALSE(ledgerExists());
}

// The example application as it ships: its schema and its queries.
class SampleApplicationTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const QString skip = m_data.createSample();
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
        m_db = m_data.open();
    }
    Reply ask(const QString& request) const {
        return Reply(MessageHandler(&m_data.config(), m_db.get()).handle(request.toUtf8()));
    }
    // One line for a DescribeTable reply: type | columns | foreign keys | referenced by.
    QString described(const QString& table) const {
        const Reply r = ask("<XML><Type>DescribeTable</Type><Table>" + table + "</Table></XML>");
        QStringList columns;
        for (const auto& c : r.doc.select_nodes("/XML/Columns/Column")) {
            const pugi::xml_node n = c.node();
            columns << QString("%1 %2%3%4")
                           .arg(n.attribute("name").value(), n.attribute("type").value(),
                                n.attribute("notnull").as_bool() ? " notnull" : "",
                                n.attribute("pk").as_int()
                                    ? QString(" pk%1").arg(n.attribute("pk").as_int())
                                    : QString());
        }
        const auto keys = [&r](const char* xpath) {
            QStringList out;
            for (const auto& k : r.doc.select_nodes(xpath)) {
                QStringList maps;
                for (const pugi::xml_node& m : k.node().children("Map"))
                    maps << QString("%1>%2").arg(m.attribute("from").value(),
                                                 m.attribute("to").value());
                out << QString("%1(%2)").arg(k.node().attribute("table").value(), maps.join(","));
            }
            return out.join(" ");
        };
        return r.text("/XML/Table/@type") + " | " + columns.join(", ") + " | " +
               keys("/XML/ForeignKeys/ForeignKey") + " | " + keys("/XML/ReferencedBy/Reference");
    }

    TestDatabase m_data{GetParam()};
    std::unique_ptr<Database> m_db;
};

INSTANTIATE_TEST_SUITE_P(Databases, SampleApplicationTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

TEST_P(SampleApplicationTest, DescribeTableGivesKeysFromBothEnds) {
    // A key over two columns, declared without naming them: the primary key's, in order.
    m_data.exec("CREATE TABLE returns (id INTEGER PRIMARY KEY, order_id INTEGER, "
                "product_id INTEGER, FOREIGN KEY (order_id, product_id) "
                "REFERENCES order_items)");
    const struct {
        const char* table;
        const char* expected;
    } cases[] = {
        {"orders", "table | id INTEGER notnull pk1, customer_id INTEGER notnull, ordered_on TEXT "
                   "notnull, shipped_on TEXT | customers(customer_id>id) | "
                   "order_items(order_id>id)"},
        {"order_items",
         "table | order_id INTEGER notnull pk1, product_id INTEGER notnull pk2, "
         "quantity INTEGER notnull | orders(order_id>id) "
         "products(product_id>id) | returns(order_id>order_id,product_id>product_id)"},
        {"categories", "table | id INTEGER notnull pk1, name TEXT notnull |  | "
                       "products(category_id>id)"},
        {"returns", "table | id INTEGER notnull pk1, order_id INTEGER, product_id INTEGER | "
                    "order_items(order_id>order_id,product_id>product_id) | "},
        {"order_totals", "view | order_id INTEGER, customer TEXT, ordered_on TEXT, total  |  | "},
    };
    // Types are as each database declares them: SQLite keeps the letter case, PostgreSQL
    // its own name, and a view's computed column has a type only in PostgreSQL.
    for (const auto& c : cases)
        EXPECT_EQ(
            described(c.table).toLower(),
            m_data.pick(c.expected, QString(c.expected).replace("total ", "total double precision"))
                .toLower())
            << c.table;
}

// A table's label column is its first text column unless configured; a table without text
// has none, and a view has one as a table has.
TEST_P(SampleApplicationTest, DescribeTableNamesTheLabelColumn) {
    const auto label = [this](const char* table) {
        const Reply r =
            ask(QString("<XML><Type>DescribeTable</Type><Table>%1</Table></XML>").arg(table));
        return r.text("/XML/Table/@label");
    };
    EXPECT_EQ(label("products"), "name");
    EXPECT_EQ(label("customers"), "name");
    EXPECT_EQ(label("orders"), "ordered_on");
    EXPECT_EQ(label("order_items"), "");
    EXPECT_EQ(label("order_totals"), "customer");
}

TEST_P(SampleApplicationTest, EveryQueryRunsAndWritesAreMarked) {
    const auto p = [](const char* name, const char* value) {
        return QString("<Parameter name=\"%1\">%2</Parameter>").arg(name, value);
    };
    const struct {
        const char* name;
        QString parameters;
        const char* kind;
        const char* count;      // rows of a read, Changes of a write
        const char* firstField; // the first field of the first row, or LastInsertId
    } cases[] = {
        {"CustomerOrders", p("customer", "1"), "read", "3", "1"},
        {"OrderItems", p("order", "1"), "read", "3", "Aged cheddar"},
        {"ProductsInCategory", p("category", "Dairy"), "read", "4", "9"},
        {"CustomersByCountry", p("country", "France"), "read", "2", "3"},
        {"LowStock", p("threshold", "30"), "read", "3", "18"},
        {"ProductChoices", {}, "read", "18", "9"},
        {"CountryChoices", {}, "read", "11", "Austria"},
        {"AddCustomer",
         p("name", "Ola Nordmann") + p("city", "Bergen") + p("country", "Norway") + p("email", ""),
         "write", "1", "13"},
        {"UpdateStock", p("product", "18") + p("stock", "12"), "write", "1", ""},
        {"LowStock", p("threshold", "20"), "read", "1", "18"},
    };
    const Reply listed = ask("<XML><Type>ListQueries</Type></XML>");
    for (const auto& c : cases) {
        const Reply r = ask(QString("<XML><Type>Query</Type><Name>%1</Name><Parameters>%2"
                                    "</Parameters></XML>")
                                .arg(c.name, c.parameters));
        EXPECT_EQ(r.text("/XML/Error"), "") << c.name << r.text("/XML/Message").toStdString();
        const bool write = QString(c.kind) == "write";
        EXPECT_EQ(r.text(write ? "/XML/Changes" : "/XML/Count"), c.count) << c.name;
        EXPECT_EQ(r.text(write ? "/XML/LastInsertId" : "/XML/Rows/Row[1]/Field[1]"), c.firstField)
            << c.name;
        EXPECT_EQ(
            listed.text(
                QString("/XML/Queries/Query[@name='%1']/@kind").arg(c.name).toUtf8().constData()),
            c.kind)
            << c.name;
    }
    EXPECT_EQ(m_data.value("SELECT coalesce(email, 'none') FROM customers WHERE id = 13"), "none");
}

TEST(MessageHandlerWithoutDatabase, PingsAnswerAndDataRequestsFail) {
    const MessageHandler handler(nullptr, nullptr, "Unable to open the database /x.db.");
    const Reply ping(handler.handle("<XML><Type>Ping</Type></XML>"));
    EXPECT_EQ(ping.text("/XML/Type"), "Pong");
    EXPECT_EQ(ping.text("/XML/Error"), "");
    EXPECT_TRUE(ping.text("/XML/Message").contains("/x.db"));
    for (const char* request :
         {"<XML><Type>ListTables</Type></XML>", "<XML><Type>ReadTable</Type><Table>t</Table></XML>",
          "<XML><Type>Query</Type><Name>q</Name></XML>"}) {
        const Reply r(handler.handle(request));
        EXPECT_EQ(r.text("/XML/Error"), "UnableToConnectDB") << request;
        EXPECT_EQ(r.text("/XML/Message"), "Unable to open the database /x.db.");
    }
}

TEST(DatabaseOpen, RefusesWhatIsNoDatabaseAndCreatesNothing) {
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.db");
    EXPECT_THROW(Database::Open(missing), common::Error);
    EXPECT_FALSE(QFile::exists(missing));

    const QString text = dir.filePath("text.db");
    ASSERT_TRUE(support::WriteFile(text, QByteArray(4096, 'x')));
    try {
        Database::Open(text);
        ADD_FAILURE() << "a text file opened as a database";
    } catch (const common::Error& e) {
        EXPECT_TRUE(e.description().contains(text)) << e.description().toStdString();
    }
}

} // namespace

namespace {

// Every row of every table and view, as ReadTable gives it, sorted: the order
// of rows without an order of their own may differ.
QStringList everyRow(const TestDatabase& data) {
    const std::unique_ptr<Database> db = data.open();
    const MessageHandler handler(&data.config(), db.get());
    QStringList rows;
    const Reply tables(handler.handle("<XML><Type>ListTables</Type></XML>"));
    for (const auto& t : tables.doc.select_nodes("/XML/Tables/Table")) {
        const QString table = t.node().child_value();
        rows << QString("%1 %2 rows=%3")
                    .arg(table, t.node().attribute("type").value(),
                         t.node().attribute("rows").value());
        const Reply read(handler.handle(
            ("<XML><Type>ReadTable</Type><Table>" + table + "</Table><Limit>1000</Limit></XML>")
                .toUtf8()));
        for (const auto& row : read.doc.select_nodes("/XML/Rows/Row")) {
            QStringList fields;
            // SQLite writes a whole REAL as 24.0, PostgreSQL as 24.
            for (const pugi::xml_node& f : row.node().children("Field"))
                fields << QString("%1=%2%3").arg(
                    f.attribute("name").value(),
                    QString(f.child_value()).replace(QRegularExpression("^(-?\\d+)\\.0$"), "\\1"),
                    f.attribute("null").as_bool() ? "(null)" : "");
            rows << table + ": " + fields.join(", ");
        }
    }
    rows.sort();
    return rows;
}

} // namespace

TEST(SampleDatabases, SqliteAndPostgresqlHoldTheSameRows) {
    TestDatabase sqlite(Backend::Sqlite);
    TestDatabase postgresql(Backend::Postgresql);
    ASSERT_EQ(sqlite.createSample(), "");
    const QString skip = postgresql.createSample();
    if (!skip.isEmpty())
        GTEST_SKIP() << skip.toStdString();
    const QStringList expected = everyRow(sqlite);
    EXPECT_GT(expected.size(), 100);
    EXPECT_EQ(everyRow(postgresql), expected);
}

// A view that reads the clock makes its rows and the table list volatile: such replies are
// never reused under the data version. Plain reads are not.
TEST_P(MessageHandlerTest, RepliesThatFollowTheClockAreMarkedVolatile) {
    m_data.exec("CREATE VIEW recent_orders AS SELECT id FROM orders "
                "WHERE CURRENT_TIMESTAMP IS NOT NULL");
    EXPECT_EQ(readTable("recent_orders").text("/XML/Volatile"), "true");
    EXPECT_EQ(ask("<XML><Type>ListTables</Type></XML>").text("/XML/Volatile"), "true");
    EXPECT_EQ(readTable("orders").text("/XML/Volatile"), "");
    EXPECT_EQ(ask(describe("recent_orders")).text("/XML/Volatile"), "");
    EXPECT_EQ(ask(query("AllCustomers")).text("/XML/Volatile"), "");
    EXPECT_EQ(readTable("nowhere").text("/XML/Volatile"), ""); // an error reply: nothing more
}

// Values reach the database and come back exactly as stored: blanks at the ends and
// whitespace-only texts (which an XML parser drops unless told to keep them), and names with
// blanks at their ends, which are names of their own.
TEST_P(MessageHandlerTest, ValuesAndNamesWithBlanksArriveExactly) {
    m_data.exec("INSERT INTO customers (id, name, email) VALUES (26, '   ', ' a@b '), "
                "(27, ' padded ', '');"
                "CREATE TABLE \" spaced \" (\" v \" TEXT);"
                "INSERT INTO \" spaced \" VALUES ('  ');");
    const struct {
        QString filters;
        const char* ids;
    } cases[] = {
        {filter("name", "eq", "   "), "26"},    {filter("name", "eq", " padded "), "27"},
        {filter("name", "eq", "padded"), ""},   {filter("name", "contains", " p"), "27"},
        {filter("email", "eq", " a@b "), "26"}, {filter("email", "eq", ""), "27"},
    };
    for (const auto& c : cases) {
        const Reply r = readTable("customers", c.filters);
        QStringList ids;
        for (const auto& f : r.doc.select_nodes("/XML/Rows/Row/Field[@name='id']"))
            ids << f.node().child_value();
        EXPECT_EQ(ids.join(","), c.ids) << c.filters.toStdString() << r.raw.constData();
    }
    const Reply rows = readTable("customers", "<Offset>25</Offset>");
    EXPECT_EQ(rows.text("/XML/Rows/Row[1]/Field[@name='name']"), "   ") << rows.raw.constData();
    EXPECT_EQ(rows.text("/XML/Rows/Row[1]/Field[@name='email']"), " a@b ");
    EXPECT_EQ(rows.text("/XML/Rows/Row[2]/Field[@name='name']"), " padded ");
    EXPECT_EQ(rows.text("/XML/Rows/Row[2]/Field[@name='email']/@null"), "");

    const Reply byName = ask(query("CustomerByName", "<Parameter name=\"name\">   </Parameter>"));
    EXPECT_EQ(byName.text("/XML/Rows/Row/Field[@name='id']"), "26") << byName.raw.constData();
    EXPECT_EQ(byName.text("/XML/Rows/Row/Field[@name='name']"), "   ");

    const Reply spaced =
        readTable(" spaced ", filter(" v ", "eq", "  ") + "<OrderBy> v </OrderBy>");
    EXPECT_EQ(spaced.text("/XML/Error"), "") << spaced.raw.constData();
    EXPECT_EQ(spaced.text("/XML/Table"), " spaced ");
    EXPECT_EQ(spaced.text("/XML/Columns/Column"), " v ");
    EXPECT_EQ(spaced.text("/XML/Rows/Row/Field[@name=' v ']"), "  ");
    EXPECT_EQ(ask(describe(" spaced ")).text("/XML/Table"), " spaced ");
    EXPECT_EQ(ask("<XML><Type>ListTables</Type></XML>").text("/XML/Tables/Table[@type='table'][1]"),
              " spaced ");
}

// Text XML cannot carry travels encoded both ways: the NUL of an SQLite text (PostgreSQL keeps
// none) and control characters come back exactly, and find their rows as filter and parameter.
TEST_P(MessageHandlerTest, TextXmlCannotCarryTravelsEncoded) {
    const QString nul = m_data.pick("a' || char(0) || 'b", "a' || chr(1) || 'b");
    const QString stored = m_data.pick(QString::fromUtf8("a\0b", 3), "a\x01"
                                                                     "b");
    m_data.exec("INSERT INTO customers (id, name) VALUES (26, '" + nul + "'), (27, 'bell' || " +
                m_data.pick("char(7)", "chr(7)") + ");");
    const auto encoded = [](const QString& text) {
        return QString("encoding=\"base64\">") + text.toUtf8().toBase64();
    };
    const Reply rows = readTable("customers", "<Offset>25</Offset>");
    const pugi::xml_node first =
        rows.doc.select_node("/XML/Rows/Row[1]/Field[@name='name']").node();
    EXPECT_EQ(first.attribute("encoding").value(), std::string("base64")) << rows.raw.constData();
    EXPECT_EQ(QByteArray::fromBase64(first.child_value()), stored.toUtf8());
    const pugi::xml_node second =
        rows.doc.select_node("/XML/Rows/Row[2]/Field[@name='name']").node();
    EXPECT_EQ(QByteArray::fromBase64(second.child_value()), QByteArray("bell\x07"));
    // Plain values stay plain.
    EXPECT_EQ(rows.count("/XML/Rows/Row/Field[@name='id'][@encoding]"), 0u);

    const Reply found = readTable("customers", "<Filter column=\"name\" op=\"eq\" " +
                                                   encoded(stored) + "</Filter>");
    EXPECT_EQ(found.text("/XML/Total"), "1") << found.raw.constData();
    EXPECT_EQ(found.text("/XML/Rows/Row/Field[@name='id']"), "26");
    const Reply parameter = ask(
        query("CustomerByName", "<Parameter name=\"name\" " + encoded(stored) + "</Parameter>"));
    EXPECT_EQ(parameter.text("/XML/Rows/Row/Field[@name='id']"), "26") << parameter.raw.constData();
}

namespace {

// An export's parts, read back as the web application reads them.
struct ExportedRows {
    std::deque<Reply> parts;
    QStringList values;         // the first field of every row, in order
    QString error;              // of the part that ended it with an error
    bool continuedRight = true; // every part but the last, and only they, say Continued
};

ExportedRows exported(const MessageHandler& handler, const QString& request) {
    ExportedRows out;
    const QList<QByteArray> replies = handler.replies(request.toUtf8());
    for (qsizetype i = 0; i < replies.size(); ++i) {
        const Reply& part = out.parts.emplace_back(replies[i]);
        out.error = part.text("/XML/Error");
        const bool continued = part.text("/XML/Continued") == "true";
        out.continuedRight = out.continuedRight && continued == (i + 1 < replies.size());
        for (const auto& row : part.doc.select_nodes("/XML/Rows/Row"))
            out.values << common::ValueText(row.node().first_child());
        EXPECT_LE(replies[i].size(), components::MAX_REPLY_BYTES);
    }
    return out;
}

} // namespace

// An export reads its rows with one statement and sends them in parts of at most a page's rows,
// in the order asked for, filtered, up to its limit; the last part says whether rows were left.
TEST_P(MessageHandlerTest, ExportsComeInPartsFromOneRead) {
    m_data.exec("CREATE TABLE numbers (n INTEGER);" +
                pick("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < "
                     "2500) INSERT INTO numbers SELECT i FROM c;",
                     "INSERT INTO numbers SELECT generate_series(1, 2500);"));
    const MessageHandler handler(&m_data.config(), m_db.get());
    const QString exportAll = "<Export>true</Export><OrderBy>n</OrderBy>"
                              "<Descending>true</Descending>";
    const ExportedRows all = exported(handler, table("numbers", exportAll));
    EXPECT_EQ(all.error, "");
    ASSERT_EQ(all.parts.size(), 3);
    EXPECT_TRUE(all.continuedRight);
    ASSERT_EQ(all.values.size(), 2500);
    EXPECT_EQ(all.values.first(), "2500");
    EXPECT_EQ(all.values.last(), "1");
    EXPECT_EQ(all.parts[1].text("/XML/Offset"), "1000");
    EXPECT_EQ(all.parts[2].text("/XML/Count"), "500");
    EXPECT_EQ(all.parts[2].text("/XML/More"), "false");
    EXPECT_EQ(all.parts[2].text("/XML/Table"), "numbers");
    EXPECT_EQ(all.parts[0].count("/XML/Total"), 0u); // nothing is counted

    const ExportedRows cut =
        exported(handler, table("numbers", exportAll + "<Offset>10</Offset><Limit>1500</Limit>" +
                                               filter("n", "gt", "100")));
    ASSERT_EQ(cut.values.size(), 1500);
    EXPECT_EQ(cut.values.first(), "2490");
    EXPECT_EQ(cut.parts.back().text("/XML/More"), "true");
    EXPECT_TRUE(cut.continuedRight);

    const ExportedRows none =
        exported(handler, table("numbers", exportAll + filter("n", "gt", "9999")));
    ASSERT_EQ(none.parts.size(), 1);
    EXPECT_EQ(none.parts[0].text("/XML/Columns/Column"), "n");
    EXPECT_EQ(none.parts[0].text("/XML/More"), "false");

    const ExportedRows orders =
        exported(handler, query("OrdersOf", "<Parameter name=\"customer\">1</Parameter>",
                                "<Export>true</Export>"));
    EXPECT_EQ(orders.values, QStringList({"1", "2", "4"}));
    EXPECT_EQ(orders.parts[0].text("/XML/Name"), "OrdersOf");

    // Refused as a whole reply: what does not exist, and a query that writes (nothing runs).
    EXPECT_EQ(exported(handler, table("nope", "<Export>true</Export>")).error, "UnknownTable");
    const ExportedRows write = exported(handler, query("AddOrder",
                                                       "<Parameter name=\"customer\">1</Parameter>"
                                                       "<Parameter name=\"amount\">1</Parameter>",
                                                       "<Export>true</Export>"));
    EXPECT_EQ(write.error, "InvalidArgument");
    EXPECT_EQ(write.parts.size(), 1);
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "4");
}

// Pages give a BLOB's size without reading it out; exports carry its bytes (base64).
TEST_P(MessageHandlerTest, PagesGiveBlobSizesAndExportsTheirBytes) {
    TestDatabase data(GetParam());
    ASSERT_EQ(data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL,
                          QString(TEST_QUERIES) + "<Query name=\"Photos\"><Sql>SELECT photo, id "
                                                  "FROM customers WHERE photo IS NOT NULL</Sql>"
                                                  "</Query>"),
              "");
    const std::unique_ptr<Database> db = data.open();
    const MessageHandler handler(&data.config(), db.get());
    for (const QString& request : {table("customers", filter("id", "eq", "4")), query("Photos")}) {
        const Reply page(handler.handle(request.toUtf8()));
        EXPECT_EQ(page.text("//Field[@name='photo']/@length"), "3") << page.raw.constData();
        EXPECT_EQ(page.text("//Field[@name='photo']/@type"), "blob");
        EXPECT_EQ(page.text("//Field[@name='photo']"), "");
        const ExportedRows all =
            exported(handler, QString(request).replace("</XML>", "<Export>true</Export></XML>"));
        ASSERT_EQ(all.parts.size(), 1) << request.toStdString();
        EXPECT_EQ(all.parts[0].text("//Field[@name='photo']"), "AP8Q"); // 00 FF 10
        EXPECT_EQ(all.parts[0].text("//Field[@name='photo']/@length"), "3");
    }
}

// No reply passes the limit: a page whose values would is refused as a whole, while an export
// sends such rows in parts of their own.
TEST_P(MessageHandlerTest, RepliesStayWithinTheirLimit) {
    const int rows = int(components::MAX_REPLY_BYTES / (4 << 20)) + 2;
    m_data.exec(
        QString("CREATE TABLE big (id INTEGER PRIMARY KEY, body TEXT);") +
        pick("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < "
             "%1) INSERT INTO big SELECT i, printf('%.*c', 4194304, 'x') FROM c;",
             "INSERT INTO big SELECT i, repeat('x', 4194304) FROM generate_series(1, %1) i;")
            .arg(rows));
    const Reply refused = readTable("big");
    EXPECT_EQ(refused.text("/XML/Error"), "ReplyTooLarge");
    EXPECT_TRUE(refused.text("/XML/Message").contains("16 MiB")) << refused.raw.constData();
    EXPECT_EQ(refused.count("/XML/Rows"), 0u);
    EXPECT_EQ(readTable("big", "<Limit>2</Limit>").text("/XML/Count"), "2");

    const MessageHandler handler(&m_data.config(), m_db.get());
    const ExportedRows all = exported(handler, table("big", "<Export>true</Export>"));
    EXPECT_EQ(all.error, "");
    EXPECT_EQ(all.parts.size(), rows);
    EXPECT_EQ(all.values.size(), rows);
    EXPECT_TRUE(all.continuedRight);
}

// An export that runs out of its time is stopped, even inside a statement that has not given
// its first row, and says so; the database goes on serving.
TEST_P(MessageHandlerTest, ExportsStopAtTheirTimeLimit) {
    TestDatabase data(GetParam());
    ASSERT_EQ(data.create(TEST_SCHEMA, TEST_SCHEMA_POSTGRESQL,
                          QString(TEST_QUERIES) + "<Query name=\"Endless\"><Sql>" +
                              data.pick("WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
                                        "FROM c WHERE i &lt; 1000000000) SELECT i FROM c "
                                        "ORDER BY i DESC",
                                        "SELECT 1 AS i FROM pg_sleep(60)") +
                              "</Sql></Query>"),
              "");
    const std::unique_ptr<Database> db = data.open();
    const MessageHandler handler(&data.config(), db.get(), {}, 300);
    const ExportedRows stopped = exported(handler, query("Endless", {}, "<Export>true</Export>"));
    EXPECT_EQ(stopped.error, "TimeLimit");
    EXPECT_TRUE(stopped.parts.back().text("/XML/Message").contains("0.3 s"))
        << stopped.parts.back().raw.constData();
    EXPECT_EQ(Reply(handler.handle(table("orders").toUtf8())).text("/XML/Total"), "4");
}
