#include "common/error.h"
#include "common/files.h"
#include "dbsvr/commandline.h"
#include "dbsvr/config.h"
#include "dbsvr/database.h"
#include "dbsvr/labelcolumn.h"
#include "dbsvr/parameters.h"
#include "dbsvrfixture.h"
#include "supervision/connectionsettings.h"
#include "tests/support/qtprinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using dbsvr::CommandLine;
using dbsvr::Config;
using dbsvr::ParseParameterText;

namespace {

TEST(ParameterFile, ReadsTheWebServersSevenLines) {
    // Windows-1252: 0xE9 is "é", 0x80 is "€"; CRLF between lines, none after the last.
    const QByteArray bytes = "parentmutex=\"P-1\"\r\n"
                             "runningmutex=\"R-2\"\r\n"
                             "inqueue=\"/tmp/q/requests\"\r\n"
                             "outqueue=\"/tmp/q/results\"\r\n"
                             "alivefile=\"/tmp/caf\xE9 \x80/alive.xml\"\r\n"
                             "messagefile=\"/tmp/a=b/message.xml\"\r\n"
                             "configfolder=\"/srv/app folder\"";
    const dbsvr::Parameters p = ParseParameterText(bytes);
    EXPECT_EQ(p.parentMutex, "P-1");
    EXPECT_EQ(p.runningMutex, "R-2");
    EXPECT_EQ(p.inQueue, "/tmp/q/requests");
    EXPECT_EQ(p.outQueue, "/tmp/q/results");
    EXPECT_EQ(p.aliveFile, QString::fromUtf8("/tmp/café €/alive.xml"));
    EXPECT_EQ(p.messageFile, "/tmp/a=b/message.xml");
    EXPECT_EQ(p.configFolder, "/srv/app folder");
}

TEST(ParameterFile, ForgivesHandWrittenFiles) {
    const dbsvr::Parameters p = ParseParameterText("# comment\nInQueue = /in\nOUTQUEUE=\"/out\"\n"
                                                   "unknown=\"x\"\nconfigfolder=\"\"\n\n");
    EXPECT_EQ(p.inQueue, "/in");
    EXPECT_EQ(p.outQueue, "/out");
    EXPECT_EQ(p.configFolder, "");
    EXPECT_EQ(p.parentMutex, "");
    EXPECT_TRUE(ParseParameterText("").inQueue.isEmpty());
}

TEST(ParameterFile, UnreadableFileRaises) {
    EXPECT_THROW(dbsvr::ReadParameterFile("/nonexistent/parameters.txt"), common::Error);
}

TEST(CommandLine, AcceptsTheFormsParentsUse) {
    const CommandLine plain({"parameterfile=/tmp/a b/p.txt"});
    EXPECT_EQ(plain.value("parameterfile"), "/tmp/a b/p.txt");
    EXPECT_FALSE(plain.has("hidden"));

    const CommandLine quoted({"parameterfile=\"/tmp/a b/p.txt\",", "hidden"});
    EXPECT_EQ(quoted.value("parameterfile"), "/tmp/a b/p.txt");
    EXPECT_TRUE(quoted.has("hidden"));

    const CommandLine split({"parameterfile=/p.txt", ",", "hidden"});
    EXPECT_EQ(split.value("parameterfile"), "/p.txt");
    EXPECT_TRUE(split.has("hidden"));

    // The configuration command line of the web server, in one piece or in words.
    const CommandLine whole({"mode=config, parentmutex=ABC, configfolder=\"/srv/my app\""});
    EXPECT_EQ(whole.value("mode"), "config");
    EXPECT_EQ(whole.value("parentmutex"), "ABC");
    EXPECT_EQ(whole.value("configfolder"), "/srv/my app");
    const CommandLine words({"MODE=config,", "parentmutex=ABC,", "configfolder=\"/srv/my app\""});
    EXPECT_EQ(words.value("mode"), "config");
    EXPECT_EQ(words.value("ParentMutex"), "ABC");
    EXPECT_EQ(words.value("configfolder"), "/srv/my app");
    EXPECT_EQ(words.value("database"), "");

    // What the web server starts the configuration mode with, for folders with a comma and
    // blank, or a double quote, in their name.
    dataserver::SupervisorConfig c;
    for (const char* folder : {"/srv/apps, europe", "/srv/\"q\", x"}) {
        c.ApplicationPath = QString::fromUtf8(folder);
        EXPECT_EQ(CommandLine(dataserver::ConfigArguments(c)).value("configfolder"),
                  c.ApplicationPath);
    }
}

TEST(ConfigFile, ResolvesTheDatabaseAndRefusesBrokenQueries) {
    QTemporaryDir dir;
    WriteConfig(dir.path(), "data/app.db", TEST_QUERIES);
    const Config config = Config::Load(dir.path());
    EXPECT_EQ(config.databasePath(), dir.filePath("data/app.db"));
    ASSERT_NE(config.query("OrdersOf"), nullptr);
    EXPECT_EQ(config.query("OrdersOf")->parameter("customer")->type, "integer");
    EXPECT_EQ(config.query("ordersof"), nullptr);

    WriteConfig(dir.path(), "/abs/app.db", "");
    EXPECT_EQ(Config::Load(dir.path()).databasePath(), "/abs/app.db");

    for (const char* queries :
         {"<Query name=\"a\"><Sql>SELECT 1</Sql></Query><Query name=\"a\"><Sql>SELECT "
          "2</Sql></Query>",
          "<Query><Sql>SELECT 1</Sql></Query>", "<Query name=\"a\"/>",
          "<Query name=\"a\"><Parameter name=\"p\" type=\"date\"/><Sql>SELECT :p</Sql></Query>"}) {
        WriteConfig(dir.path(), "app.db", QString::fromUtf8(queries));
        EXPECT_THROW(Config::Load(dir.path()), common::Error) << queries;
    }
    WriteConfig(dir.path(), "", "");
    EXPECT_THROW(Config::Load(dir.path()), common::Error);
    QDir(dir.path()).remove("dataserver.xml");
    EXPECT_THROW(Config::Load(dir.path()), common::Error);
}

// Workers and StatementTimeLimit: defaults without them, their values, and refusals of what
// is not a positive number (Workers a whole one, at most 64).
TEST(ConfigFile, ReadsWorkersAndTheStatementTimeLimit) {
    QTemporaryDir dir;
    const auto load = [&](const QString& settings) {
        // After the queries, as the file's own elements.
        WriteConfig(dir.path(), "app.db", "</Queries>" + settings + "<Queries>");
        return Config::Load(dir.path());
    };
    EXPECT_EQ(load("").workers(), 0);
    EXPECT_EQ(load("").statementTimeLimitMs(), Config::DEFAULT_STATEMENT_TIME_LIMIT_MS);
    EXPECT_GE(Config::DefaultWorkers(), 2);
    const Config set = load("<Workers> 3 </Workers><StatementTimeLimit>0.25</StatementTimeLimit>");
    EXPECT_EQ(set.workers(), 3);
    EXPECT_EQ(set.statementTimeLimitMs(), 250);
    for (const char* wrong :
         {"<Workers>0</Workers>", "<Workers>2.5</Workers>", "<Workers>65</Workers>",
          "<Workers>many</Workers>", "<StatementTimeLimit>-1</StatementTimeLimit>",
          "<StatementTimeLimit></StatementTimeLimit>",
          "<StatementTimeLimit>nan</StatementTimeLimit>"})
        EXPECT_THROW(load(wrong), common::Error) << wrong;
}

// Tables name the column that stands for a table's rows; a configured column the table lacks
// falls back to its first text column.
TEST(ConfigFile, LabelColumnsAreConfiguredOrTheFirstTextColumn) {
    QTemporaryDir dir;
    const auto load = [&](const QString& tables) {
        WriteConfig(dir.path(), "app.db", "</Queries><Tables>" + tables + "</Tables><Queries>");
        return Config::Load(dir.path());
    };
    const Config config = load("<Table name=\"orders\" label=\"note\"/>"
                               "<Table name=\"parts\" label=\"gone\"/>");
    EXPECT_EQ(config.labelColumn("orders"), "note");
    EXPECT_EQ(config.labelColumn("Orders"), "");
    dbsvr::TableDescription orders{"orders", "table", {}, {}, {}};
    orders.columns = {
        {"id", "INTEGER", true, 1}, {"code", "VARCHAR(8)", false, 0}, {"note", "TEXT", false, 0}};
    EXPECT_EQ(dbsvr::LabelColumn(orders, config), "note");
    dbsvr::TableDescription parts = orders;
    parts.name = "parts";
    EXPECT_EQ(dbsvr::LabelColumn(parts, config), "code");
    dbsvr::TableDescription numbers{"numbers", "table", {}, {}, {}};
    numbers.columns = {{"id", "INTEGER", true, 1},
                       {"pointer", "BIGINT", false, 0},
                       {"points", "CHARINT", false, 0},
                       {"amount", "double precision", false, 0}};
    EXPECT_EQ(dbsvr::LabelColumn(numbers, config), "");
    for (const char* type : {"text", "character varying(40)", "NCHAR(3)", "CLOB", "character"})
        EXPECT_TRUE(dbsvr::IsTextType(type)) << type;

    for (const char* wrong : {"<Table label=\"x\"/>", "<Table name=\"t\"/>",
                              "<Table name=\"t\" label=\"a\"/><Table name=\"t\" label=\"b\"/>"})
        EXPECT_THROW(load(wrong), common::Error) << wrong;
}

TEST(ConfigFile, SavingTheDatabaseKeepsQueriesAndComments) {
    QTemporaryDir dir;
    const QString path = Config::FilePath(dir.path());
    common::SaveFile(path, "<?xml version=\"1.0\"?>\n<!-- keep me -->\n<DataServer>\n"
                           "  <Database>old.db</Database>\n  <Queries><Query name=\"q\">"
                           "<Sql>SELECT 1</Sql></Query></Queries>\n</DataServer>\n");
    dbsvr::SaveDatabaseSetting(dir.path(), "new.db");
    const Config config = Config::Load(dir.path());
    EXPECT_EQ(config.databaseSetting(), "new.db");
    EXPECT_NE(config.query("q"), nullptr);
    EXPECT_TRUE(common::ReadFile(path).contains("<!-- keep me -->"));

    // A file that is not XML is never overwritten.
    common::SaveFile(path, "<DataServer>");
    EXPECT_THROW(dbsvr::SaveDatabaseSetting(dir.path(), "x.db"), common::Error);
    EXPECT_EQ(common::ReadFile(path), "<DataServer>");

    QTemporaryDir empty;
    dbsvr::SaveDatabaseSetting(empty.path(), "made.db");
    EXPECT_EQ(Config::Load(empty.path()).databaseSetting(), "made.db");
}

TEST(ConfigFile, StoresFilesInsideTheFolderRelative) {
    EXPECT_EQ(dbsvr::DatabaseSettingFor("/srv/app", "/srv/app/data/x.db"), "data/x.db");
    EXPECT_EQ(dbsvr::DatabaseSettingFor("/srv/app", "/srv/app/x.db"), "x.db");
    EXPECT_EQ(dbsvr::DatabaseSettingFor("/srv/app", "/srv/other/x.db"), "/srv/other/x.db");
    EXPECT_EQ(dbsvr::DatabaseSettingFor("/srv/app", "/srv/app2/x.db"), "/srv/app2/x.db");
}

} // namespace
