#include "common/error.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

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
    Reply readTable(const QString& name, const QString& extra = {}) const {
        return ask(table(name, extra));
    }
    static QString table(const QString& name, const QString& extra = {}) {
        return "<XML><Type>ReadTable</Type><Table>" + name.toHtmlEscaped() + "</Table>" + extra +
               "</XML>";
    }
    static QString query(const QString& name, const QString& parameters = {},
                         const QString& extra = {}) {
        return "<XML><Type>Query</Type><Name>" + name.toHtmlEscaped() + "</Name><Parameters>" +
               parameters + "</Parameters>" + extra + "</XML>";
    }

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
    // A real name that needs quoting is read; views page too, without a rowid.
    EXPECT_EQ(readTable("odd \"name\"").text("/XML/Rows/Row/Field[@name='value']"), "inside");
    EXPECT_EQ(readTable("customer_orders").text("/XML/Total"), "4");
}

TEST_F(MessageHandlerTest, ReadTableKeepsValuesExactAndCapsTheLimit) {
    const Reply r = readTable("customers", "<Offset>2</Offset><Limit>3</Limit>");
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='email']/@null"), "true");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']/@type"), "blob");
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='photo']"), "AP8Q"); // base64 of 00 FF 10
    EXPECT_EQ(r.text("/XML/Rows/Row[3]/Field[@name='name']"),
              QString::fromUtf8("Zoë <&> \"quoted\""));
    EXPECT_EQ(r.text("/XML/Rows/Row[2]/Field[@name='email']/@null"), "");

    MakeDatabase(m_db->path(),
                 "WITH RECURSIVE n(i) AS (SELECT 26 UNION ALL SELECT i + 1 FROM n "
                 "WHERE i < 1100) INSERT INTO customers (id, name) SELECT i, 'x' FROM n;");
    const Reply capped = readTable("customers", "<Limit>5000</Limit>");
    EXPECT_EQ(capped.text("/XML/Limit"), QString::number(dbsvr::MAX_LIMIT));
    EXPECT_EQ(capped.count("/XML/Rows/Row"), size_t(dbsvr::MAX_LIMIT));
    EXPECT_EQ(readTable("customers").count("/XML/Rows/Row"), size_t(dbsvr::DEFAULT_LIMIT));
}

// Every refusal is a whole error reply (no rows), and none of them runs or changes anything.
TEST_F(MessageHandlerTest, RefusedRequestsGetAnErrorReplyAndChangeNothing) {
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
        {table("customers", "<OrderBy>id; DROP TABLE customers</OrderBy>"), "UnknownColumn"},
        {table("customers", "<Limit>-1</Limit>"), "InvalidArgument"},
        {table("customers", "<Offset>ten</Offset>"), "InvalidArgument"},
        {table("customers", "<Limit>1 OR 1=1</Limit>"), "InvalidArgument"},
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

TEST_F(MessageHandlerTest, NamedQueryBindsTypedParametersNeverAsSql) {
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

TEST_F(MessageHandlerTest, ListQueriesShowsParametersButNoSql) {
    const Reply listed = ask("<XML><Type>ListQueries</Type></XML>");
    EXPECT_EQ(listed.count("/XML/Queries/Query"), 6u);
    EXPECT_EQ(listed.text("/XML/Queries/Query[@name='OrdersOf']/Parameter/@type"), "integer");
    EXPECT_EQ(listed.count("//Sql"), 0u);
}

TEST_F(MessageHandlerTest, ChangingQueryReportsChanges) {
    const Reply r = ask(query("AddOrder", "<Parameter name=\"customer\">2</Parameter>"
                                          "<Parameter name=\"amount\">1.25</Parameter>"));
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(r.text("/XML/Changes"), "1");
    EXPECT_EQ(ask(query("OrdersOf", "<Parameter name=\"customer\">2</Parameter>"))
                  .text("/XML/Rows/Row[2]/Field[@name='amount']"),
              "1.25");
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
