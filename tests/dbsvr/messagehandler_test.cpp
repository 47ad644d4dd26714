#include "common/error.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using dbsvr::Config;
using dbsvr::Database;
using dbsvr::MessageHandler;

namespace {

class MessageHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        MakeDatabase(m_dir.filePath("test.db"), TEST_SCHEMA);
        WriteConfig(m_dir.path(), "test.db", TEST_QUERIES);
        m_config = std::make_unique<Config>(Config::Load(m_dir.path()));
        m_db = Database::Open(m_config->databasePath());
    }

    Reply ask(const QString& request) const {
        return Reply(MessageHandler(m_config.get(), m_db.get()).handle(request.toUtf8()));
    }
    Reply readTable(const QString& table, const QString& extra = {}) const {
        return ask("<XML><Type>ReadTable</Type><Table>" + table.toHtmlEscaped() + "</Table>" +
                   extra + "</XML>");
    }
    Reply query(const QString& name, const QString& parameters, const QString& extra = {}) const {
        return ask("<XML><Type>Query</Type><Name>" + name.toHtmlEscaped() + "</Name><Parameters>" +
                   parameters + "</Parameters>" + extra + "</XML>");
    }
    int customerCount() const { return int(readTable("customers").text("/XML/Total").toInt()); }

    QTemporaryDir m_dir;
    std::unique_ptr<Config> m_config;
    std::unique_ptr<Database> m_db;
};

TEST_F(MessageHandlerTest, PingAnswersPongWithoutError) {
    const Reply r = ask("<XML><Type>Ping</Type></XML>");
    EXPECT_EQ(r.text("/XML/Type"), "Pong");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.count("/XML/Error"), 1u);
    EXPECT_TRUE(r.text("/XML/Message").contains("test.db"));
}

TEST_F(MessageHandlerTest, ListTablesGivesTablesAndViewsOnly) {
    MakeDatabase(m_db->path(), "CREATE TABLE t_auto (id INTEGER PRIMARY KEY AUTOINCREMENT);");
    const Reply r = ask("<XML><Type>ListTables</Type></XML>");
    EXPECT_EQ(r.text("/XML/Type"), "Tables");
    EXPECT_EQ(r.count("/XML/Tables/Table"), 5u); // sqlite_sequence is left out
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customer_orders']/@type"), "view");
    EXPECT_EQ(r.text("/XML/Tables/Table[.='customers']/@type"), "table");
    EXPECT_EQ(r.count("/XML/Tables/Table[starts-with(., 'sqlite_')]"), 0u);
}

TEST_F(MessageHandlerTest, ReadTablePagesInStableOrder) {
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
}

TEST_F(MessageHandlerTest, ReadTableKeepsValuesExact) {
    const Reply r = readTable("customers", "<Offset>2</Offset><Limit>3</Limit>");
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='email']/@null"), "true");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']/@type"), "blob");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']"), "AP8Q"); // base64 of 00 FF 10
    EXPECT_EQ(r.text("/XML/Rows/Row[3]/Field[@name='name']"),
              QString::fromUtf8("Zoë <&> \"quoted\""));
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='email']/@null"), "");
}

TEST_F(MessageHandlerTest, ReadTableChecksPagingArguments) {
    EXPECT_EQ(readTable("customers", "<Limit>-1</Limit>").text("/XML/Error"), "InvalidArgument");
    EXPECT_EQ(readTable("customers", "<Offset>ten</Offset>").text("/XML/Error"), "InvalidArgument");
    EXPECT_EQ(readTable("customers", "<Limit>1 OR 1=1</Limit>").text("/XML/Error"),
              "InvalidArgument");
    MakeDatabase(m_db->path(),
                 "WITH RECURSIVE n(i) AS (SELECT 26 UNION ALL SELECT i + 1 FROM n "
                 "WHERE i < 1100) INSERT INTO customers (id, name) SELECT i, 'x' FROM n;");
    const Reply capped = readTable("customers", "<Limit>5000</Limit>");
    EXPECT_EQ(capped.text("/XML/Limit"), QString::number(dbsvr::MAX_LIMIT));
    EXPECT_EQ(capped.count("/XML/Rows/Row"), size_t(dbsvr::MAX_LIMIT));
    EXPECT_EQ(readTable("customers").count("/XML/Rows/Row"), size_t(dbsvr::DEFAULT_LIMIT));
}

TEST_F(MessageHandlerTest, TableAndColumnNamesMustBeInTheSchema) {
    for (const char* name :
         {"customers; DROP TABLE customers", "customers\" --", "customers WHERE 1=1",
          "sqlite_master", "", "Customers", "(SELECT * FROM customers)"}) {
        const Reply r = readTable(QString::fromUtf8(name));
        EXPECT_EQ(r.text("/XML/Type"), "Error") << name;
        EXPECT_EQ(r.text("/XML/Error"), "UnknownTable") << name;
        EXPECT_EQ(r.count("/XML/Rows"), 0u) << name;
    }
    const Reply column = readTable("customers", "<OrderBy>id; DROP TABLE customers</OrderBy>");
    EXPECT_EQ(column.text("/XML/Error"), "UnknownColumn");
    EXPECT_EQ(customerCount(), 25);

    // A real name that needs quoting is read, not refused.
    const Reply odd = readTable("odd \"name\"");
    EXPECT_EQ(odd.text("/XML/Error"), "");
    EXPECT_EQ(odd.text("/XML/Rows/Row/Field[@name='value']"), "inside");
    // Views page too, without a rowid.
    EXPECT_EQ(readTable("customer_orders").text("/XML/Total"), "4");
}

TEST_F(MessageHandlerTest, NamedQueryBindsTypedParameters) {
    const Reply r = query("OrdersOf", "<Parameter name=\"customer\">1</Parameter>");
    EXPECT_EQ(r.text("/XML/Type"), "Rows");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.count("/XML/Rows/Row"), 3u);
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='amount']"), "10.5");
    EXPECT_EQ(r.text("/XML/More"), "false");

    const Reply text = query("CustomerByName", "<Parameter name=\":name\">Customer 7</Parameter>");
    EXPECT_EQ(text.text("/XML/Rows/Row/Field[@name='id']"), "7");

    const Reply paged = query("AllCustomers", "", "<Offset>20</Offset><Limit>3</Limit>");
    EXPECT_EQ(paged.text("/XML/Rows/Row[1]/Field[@name='id']"), "21");
    EXPECT_EQ(paged.text("/XML/Count"), "3");
    EXPECT_EQ(paged.text("/XML/More"), "true");
}

TEST_F(MessageHandlerTest, ParameterValuesAreNeverSql) {
    EXPECT_EQ(
        query("OrdersOf", "<Parameter name=\"customer\">1 OR 1=1</Parameter>").text("/XML/Error"),
        "InvalidArgument");
    const Reply r = query("CustomerByName", "<Parameter name=\"name\">x' OR '1'='1</Parameter>");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.count("/XML/Rows/Row"), 0u);
    const Reply drop =
        query("CustomerByName", "<Parameter name=\"name\">'; DROP TABLE customers; --</Parameter>");
    EXPECT_EQ(drop.count("/XML/Rows/Row"), 0u);
    EXPECT_EQ(customerCount(), 25);
}

TEST_F(MessageHandlerTest, NamedQueryParameterFaults) {
    EXPECT_EQ(query("OrdersOf", "").text("/XML/Error"), "MissingParameter");
    EXPECT_EQ(query("OrdersOf", "<Parameter name=\"customer\">1</Parameter>"
                                "<Parameter name=\"extra\">2</Parameter>")
                  .text("/XML/Error"),
              "UnknownParameter");
    EXPECT_EQ(query("OrdersOf", "<Parameter name=\"customer\">1</Parameter>"
                                "<Parameter name=\"customer\">2</Parameter>")
                  .text("/XML/Error"),
              "InvalidArgument");
    const Reply nullName =
        query("CustomerByName", "<Parameter name=\"name\" null=\"true\">x</Parameter>");
    EXPECT_EQ(nullName.text("/XML/Error"), "");
    EXPECT_EQ(nullName.count("/XML/Rows/Row"), 0u);
}

TEST_F(MessageHandlerTest, OnlyConfiguredQueriesRun) {
    for (const char* name : {"Nope", "SELECT * FROM customers", "ordersof", ""}) {
        const Reply r = query(QString::fromUtf8(name), "");
        EXPECT_EQ(r.text("/XML/Error"), "UnknownQuery") << name;
    }
    // A configured text holding two statements runs neither.
    const Reply two = query("TwoStatements", "");
    EXPECT_EQ(two.text("/XML/Error"), "DatabaseError");
    EXPECT_EQ(readTable("orders").text("/XML/Total"), "4");
    EXPECT_EQ(query("Unnamed", "").text("/XML/Error"), "DatabaseError");

    const Reply listed = ask("<XML><Type>ListQueries</Type></XML>");
    EXPECT_EQ(listed.count("/XML/Queries/Query"), 6u);
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='OrdersOf']/Parameter/@type"), "integer");
    EXPECT_EQ(listed.count("//Sql"), 0u);
}

TEST_F(MessageHandlerTest, ChangingQueryReportsChanges) {
    const Reply r = query("AddOrder", "<Parameter name=\"customer\">2</Parameter>"
                                      "<Parameter name=\"amount\">1.25</Parameter>");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.text("/XML/Changes"), "1");
    EXPECT_EQ(query("OrdersOf", "<Parameter name=\"customer\">2</Parameter>")
                  .text("/XML/Rows/Row[2]/Field[@name='amount']"),
              "1.25");
}

TEST_F(MessageHandlerTest, BadRequestsGetErrorReplies) {
    for (const char* request : {"", "not xml", "<XML><Type>Ping</Type>", "<XML/>",
                                "<XML><Type>DropEverything</Type></XML>"}) {
        const Reply r = ask(QString::fromUtf8(request));
        EXPECT_EQ(r.text("/XML/Type"), "Error") << request;
        EXPECT_EQ(r.text("/XML/Error"), "InvalidRequest") << request;
        EXPECT_FALSE(r.text("/XML/Message").isEmpty()) << request;
    }
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
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    try {
        Database::Open(text);
        ADD_FAILURE() << "a text file opened as a database";
    } catch (const common::Error& e) {
        EXPECT_TRUE(e.description().contains(text)) << e.description().toStdString();
    }
}

} // namespace
