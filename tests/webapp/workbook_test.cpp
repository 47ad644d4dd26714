// Workbook (.xlsx) exports, opened by a real reader (openpyxl, tests/webapp/readworkbook.py):
// the cells' kinds, hostile text kept as text, the header, the second sheet, the row limit and
// the file that nobody sees.
#include "adminhelpers.h"
#include "components/queue.h"
#include "components/replyparts.h"
#include "tests/support/qtprinters.h"
#include "tests/support/queuereader.h"
#include "webappfixture.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace webapptest;

namespace {

const char KINDS_SQL[] = R"sql(
CREATE TABLE kinds (id INTEGER PRIMARY KEY, amount REAL, price NUMERIC(10,2), day DATE,
    stamp TIMESTAMP, flag BOOLEAN, body TEXT, big INTEGER);
INSERT INTO kinds VALUES
    (1, 2.5, 3.25, '2024-02-29', '2024-02-29 13:45:30', 1, '=1+2', 9007199254740993),
    (2, NULL, 0, 'not a date', '2024-13-01 00:00:00', NULL, '@SUM(A1)', -5),
    (3, -0.125, 7, '1899-12-31', '2024-01-02T03:04:05', 0,
     'a' || char(1) || 'b' || char(31) || '_x0041_' || char(0) || 'z' || char(13) || char(10),
     printf('%.*c', 40000, 'y'));
CREATE TABLE numbers (n INTEGER);
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 100005)
INSERT INTO numbers SELECT i FROM c;
)sql";

// PostgreSQL's text holds no NUL: the same without it.
const char KINDS_POSTGRESQL[] = R"sql(
CREATE TABLE kinds (id INTEGER PRIMARY KEY, amount DOUBLE PRECISION, price NUMERIC(10,2),
    day TEXT, stamp TEXT, flag BOOLEAN, body TEXT, big TEXT);
INSERT INTO kinds VALUES
    (1, 2.5, 3.25, '2024-02-29', '2024-02-29 13:45:30', true, '=1+2', '9007199254740993'),
    (2, NULL, 0, 'not a date', '2024-13-01 00:00:00', NULL, '@SUM(A1)', '-5'),
    (3, -0.125, 7, '1899-12-31', '2024-01-02T03:04:05', false,
     'a' || chr(1) || 'b' || chr(31) || '_x0041_' || 'z' || chr(13) || chr(10),
     repeat('y', 40000));
CREATE TABLE numbers (n INTEGER);
INSERT INTO numbers SELECT generate_series(1, 100005);
)sql";

const char KINDS_QUERY[] =
    "<Query name=\"Kinds\" title=\"Kinds\">"
    "<Parameter name=\"min\" type=\"integer\"/>"
    "<Sql>SELECT id, amount, body, stamp FROM kinds WHERE id &gt;= :min</Sql>"
    "</Query>";

const char XLSX[] = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

// The workbook as a spreadsheet reads it: {"sheets": [{title, freeze, filter, max_row, widths,
// bold, rows: [[["n", 1], null, ...], ...]}]}, the first rows rows of each sheet (all: -1).
QJsonObject ReadWorkbook(const QByteArray& bytes, int rows = -1) {
    QTemporaryDir dir;
    QFile file(dir.filePath("export.xlsx"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    file.close();
    QStringList arguments{QStringLiteral(QV_READ_WORKBOOK), file.fileName()};
    if (rows >= 0)
        arguments << "--rows" << QString::number(rows);
    QProcess reader;
    reader.start(QStringLiteral(QV_PYTHON), arguments);
    reader.waitForFinished(-1);
    const QByteArray out = reader.readAllStandardOutput();
    EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().constData();
    return QJsonDocument::fromJson(out).object();
}

QJsonObject Sheet(const QJsonObject& book, int n) {
    return book["sheets"].toArray()[n].toObject();
}

// Row r (from 0, the header included) of a sheet.
QJsonArray Row(const QJsonObject& sheet, int r) {
    return sheet["rows"].toArray()[r].toArray();
}

QJsonArray Typed(const char* type, const QJsonValue& value) {
    return QJsonArray{QString::fromLatin1(type), value};
}

void ExpectWorkbook(const Page& page, const char* file) {
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.headers.value("content-type"), XLSX);
    EXPECT_TRUE(page.headers.value("content-disposition")
                    .startsWith(QByteArray("attachment; filename=\"") + file + "\""))
        << page.headers.value("content-disposition").constData();
    EXPECT_EQ(page.headers.value("content-length").toInt(), page.content.size());
}

// The label and value of the second sheet's line whose label is label.
QJsonArray AboutLine(const QJsonObject& book, const QString& label) {
    for (const QJsonValue& row : Sheet(book, 1)["rows"].toArray()) {
        const QJsonArray cells = row.toArray();
        if (cells.at(0).toArray().at(1).toString() == label)
            return cells.at(1).toArray();
    }
    return {};
}

} // namespace

TEST(Workbook, CellsKeepTheirKindsAndHostileTextStaysText) {
    ExampleApplication app({}, KINDS_SQL, KINDS_POSTGRESQL);
    ASSERT_TRUE(app.ready());
    Browser browser(app);

    // The table page offers the workbook beside CSV and JSON, with its sort and filters.
    const Page table = browser.get("page=table&name=kinds&sort=id");
    EXPECT_EQ(LinkTo(table.body, "Workbook (.xlsx)"),
              "/?page=export&name=kinds&sort=id&format=xlsx");

    const Page page = browser.get("page=export&name=kinds&sort=id&format=xlsx");
    ExpectWorkbook(page, "kinds.xlsx");
    const QJsonObject book = ReadWorkbook(page.content);
    const QJsonObject rows = Sheet(book, 0);
    EXPECT_EQ(rows["title"], "Rows");
    EXPECT_EQ(rows["freeze"], "A2");
    EXPECT_EQ(rows["filter"], "A1:H4");
    EXPECT_TRUE(rows["bold"].toBool());
    EXPECT_EQ(Row(rows, 0), QJsonArray({Typed("s", "id"), Typed("s", "amount"), Typed("s", "price"),
                                        Typed("s", "day"), Typed("s", "stamp"), Typed("s", "flag"),
                                        Typed("s", "body"), Typed("s", "big")}));

    const bool pg = OnPostgresql();
    // On PostgreSQL, day, stamp and big are declared text: text they stay.
    const auto maybe = [pg](const char* type, const QJsonValue& value, const char* text) {
        return pg ? Typed("s", text) : Typed(type, value);
    };
    const QJsonArray first = Row(rows, 1);
    EXPECT_EQ(first[0], Typed("n", 1));
    EXPECT_EQ(first[1], Typed("n", 2.5));
    EXPECT_EQ(first[2], Typed("n", 3.25));
    EXPECT_EQ(first[3], maybe("d", "2024-02-29T00:00:00", "2024-02-29"));
    EXPECT_EQ(first[4], maybe("d", "2024-02-29T13:45:30", "2024-02-29 13:45:30"));
    EXPECT_EQ(first[5], Typed("b", true));
    EXPECT_EQ(first[6], Typed("s", "=1+2")); // never a formula
    // Past what a double holds exactly: text, not 9007199254740992.
    EXPECT_EQ(first[7], Typed("s", "9007199254740993"));

    const QJsonArray second = Row(rows, 2);
    EXPECT_TRUE(second[1].isNull()); // NULL: an empty cell
    EXPECT_EQ(second[2], Typed("n", 0));
    EXPECT_EQ(second[3], Typed("s", "not a date"));
    EXPECT_EQ(second[4], Typed("s", "2024-13-01 00:00:00"));
    EXPECT_TRUE(second[5].isNull());
    EXPECT_EQ(second[6], Typed("s", "@SUM(A1)"));
    EXPECT_EQ(second[7], maybe("n", -5, "-5"));

    const QJsonArray third = Row(rows, 3);
    EXPECT_EQ(third[1], Typed("n", -0.125));
    EXPECT_EQ(third[3], Typed("s", "1899-12-31")); // before the spreadsheet's first day
    EXPECT_EQ(third[4], maybe("d", "2024-01-02T03:04:05", "2024-01-02T03:04:05"));
    EXPECT_EQ(third[5], Typed("b", false));
    // Control characters, NUL and a text that reads as an escape come back as stored.
    const QString controls = QStringLiteral("a\x01"
                                            "b\x1f_x0041_") +
                             (pg ? QString() : QString(QChar(0))) + QStringLiteral("z\r\n");
    EXPECT_EQ(third[6], Typed("s", controls))
        << QJsonDocument(third[6].toArray()).toJson().toStdString();
    // A text longer than a cell holds is cut there, and the second sheet says so.
    EXPECT_EQ(third[7], Typed("s", QString(32767, 'y')));

    const QJsonObject widths = rows["widths"].toObject();
    // The long text at the cap (the reader adds the padding of the cells' margins).
    EXPECT_NEAR(widths["H"].toDouble(), 60, 1);
    EXPECT_GE(widths["E"].toDouble(), 19); // a date and time fits
    EXPECT_LT(widths["A"].toDouble(), 10);

    const QJsonObject about = Sheet(book, 1);
    EXPECT_EQ(about["title"], "About");
    EXPECT_EQ(AboutLine(book, "Exported from"), Typed("s", "kinds"));
    EXPECT_EQ(AboutLine(book, "Rows"), Typed("n", 3));
    EXPECT_EQ(AboutLine(book, "Cut short"), Typed("s", "No: every row was exported."));
    EXPECT_EQ(AboutLine(book, "Texts cut to 32767 characters"), Typed("n", 1));
    EXPECT_EQ(AboutLine(book, "Exported at (UTC)")[0], "d");
    EXPECT_TRUE(AboutLine(book, "Rows chosen")[1].toString().contains("no filters"));
}

TEST(Workbook, QueryResultsAndFiltersSayWhatTheRowsAre) {
    ExampleApplication app(KINDS_QUERY, KINDS_SQL, KINDS_POSTGRESQL);
    ASSERT_TRUE(app.ready());
    Browser browser(app);

    const Page query = browser.get("page=export&kind=query&name=Kinds&p.min=2&run=1&format=xlsx");
    ExpectWorkbook(query, "Kinds.xlsx");
    const QJsonObject book = ReadWorkbook(query.content);
    const QJsonObject rows = Sheet(book, 0);
    EXPECT_EQ(rows["filter"], "A1:D3");
    // A query's columns have no declared type: what reads exactly as a number or an ISO date
    // is one, the rest text.
    EXPECT_EQ(Row(rows, 1), QJsonArray({Typed("n", 2), QJsonValue(), Typed("s", "@SUM(A1)"),
                                        Typed("s", "2024-13-01 00:00:00")}));
    EXPECT_EQ(Row(rows, 2)[1], Typed("n", -0.125));
    EXPECT_EQ(Row(rows, 2)[3], Typed("d", "2024-01-02T03:04:05"));
    EXPECT_TRUE(AboutLine(book, "Rows chosen")[1].toString().contains("min ="));

    const Page filtered =
        browser.get("page=export&name=kinds&col1=body&op1=contains&val1=SUM&format=xlsx");
    const QJsonObject narrowed = ReadWorkbook(filtered.content);
    EXPECT_EQ(Sheet(narrowed, 0)["max_row"], 2);
    const QString words = AboutLine(narrowed, "Rows chosen")[1].toString();
    EXPECT_TRUE(words.contains("body") && words.contains("SUM")) << words.toStdString();
}

TEST(Workbook, TheAuditTrailWithItsTimesAsDates) {
    ExampleApplication app;
    ASSERT_TRUE(app.ready());
    Browser admin(app);
    ASSERT_FALSE(UsersAction(admin, "user-add", "ann", {{"role", "reader"}}).redirect.isEmpty());
    ASSERT_TRUE(app.runSql("INSERT INTO quorvex_audit (at, user_name, address, action, object, "
                           "detail, record_key) VALUES ('2030-01-01 08:00:00', 'ann', "
                           "'10.0.0.1', 'signin', '', '=cmd|'' /C calc''!A0', '');"));
    const Page audit = admin.get("page=audit&user=ann");
    EXPECT_EQ(LinkTo(audit.body, "Workbook (.xlsx)"), "/?page=audit&user=ann&format=xlsx");
    const Page page = admin.get("page=audit&user=ann&format=xlsx");
    ExpectWorkbook(page, "audit.xlsx");
    const QJsonObject book = ReadWorkbook(page.content);
    const QJsonObject rows = Sheet(book, 0);
    EXPECT_EQ(rows["max_row"], 2);
    const QJsonArray entry = Row(rows, 1);
    EXPECT_EQ(entry[0].toArray()[0], "n");
    EXPECT_EQ(entry[1], Typed("d", "2030-01-01T08:00:00"));
    EXPECT_EQ(entry[2], Typed("s", "ann"));
    EXPECT_EQ(entry[6], Typed("s", "=cmd|' /C calc'!A0"));
    EXPECT_TRUE(AboutLine(book, "Rows chosen")[1].toString().contains("ann"));
    // The trail answers administrators only, in every format.
    admin.anonymous();
    EXPECT_NE(admin.get("page=audit&format=xlsx").status, 200);
}

TEST(Workbook, CutAtTheRowLimitFromAFileNobodySeesAndNothingIsLeft) {
    ExampleApplication app({}, KINDS_SQL, KINDS_POSTGRESQL);
    ASSERT_TRUE(app.ready());
    Browser browser(app);
    const webapp::Response answer = browser.answer("page=export&name=numbers&format=xlsx&sort=n");
    ASSERT_TRUE(answer.hasFile());
    EXPECT_EQ(answer.header("X-Export-Truncated"), "true");
    EXPECT_TRUE(
        QDir(browser.instanceFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .isEmpty());
    EXPECT_EQ(answer.file.file->permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              0);
    const QByteArray bytes = answer.file.file->readAll();
    EXPECT_EQ(bytes.size(), answer.file.length);
    const QJsonObject book = ReadWorkbook(bytes, 3);
    const QJsonObject rows = Sheet(book, 0);
    EXPECT_EQ(rows["max_row"], 1 + components::MAX_EXPORT_ROWS);
    EXPECT_EQ(rows["filter"], "A1:A100001");
    EXPECT_EQ(Row(rows, 2), QJsonArray({Typed("n", 2)}));
    EXPECT_EQ(AboutLine(book, "Rows"), Typed("n", components::MAX_EXPORT_ROWS));
    EXPECT_EQ(AboutLine(book, "Cut short"),
              Typed("s", "Yes: only the first 100000 rows were exported."));
}

// A data server that fails after the first part: an error page, and the half-written workbook
// is gone with its rows' files.
TEST(Workbook, AnExportThatFailsHalfWayLeavesNoFile) {
    QTemporaryDir dir;
    const QString requests = dir.filePath("requests"), results = dir.filePath("results");
    ASSERT_TRUE(QDir().mkpath(requests) && QDir().mkpath(results));
    std::thread server([&] {
        const QString describe = support::TakeQueueMessage(requests, {}).id;
        components::SendMessage(results, describe,
                                "<XML><Type>Table</Type><Error/><Message/><Table type=\"table\">t"
                                "</Table><Columns><Column name=\"n\" type=\"INTEGER\"/></Columns>"
                                "</XML>");
        const QString rows = support::TakeQueueMessage(requests, {}).id;
        components::SendMessage(
            results, components::PartId(rows, 1),
            "<XML><Type>Rows</Type><Error/><Message/><Columns><Column>n</Column></Columns><Rows>"
            "<Row><Field name=\"n\">1</Field></Row></Rows><Offset>0</Offset><Count>1</Count>"
            "<More>true</More><Continued>true</Continued></XML>");
        components::SendMessage(results, components::PartId(rows, 2),
                                "<XML><Type>Error</Type><Error>TimeLimit</Error><Message>Stopped."
                                "</Message></XML>");
    });
    Browser browser(dir.path(), {});
    browser.inQueue = results;
    browser.outQueue = requests;
    const Page stopped = browser.get("page=export&name=t&format=xlsx");
    server.join();
    EXPECT_EQ(stopped.status, 500);
    EXPECT_FALSE(stopped.headers.contains("content-disposition"));
    EXPECT_TRUE(stopped.body.contains("TimeLimit"));
    EXPECT_TRUE(
        QDir(browser.instanceFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
            .isEmpty());
}
