// CSV and JSON exports of tables and query results: complete answers, quoting, all rows.
#include "tests/support/qtprinters.h"
#include "webapp/csv.h"
#include "webappfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace webapptest;

namespace {

const char EXTRA_SQL[] = R"sql(
CREATE TABLE notes (id INTEGER PRIMARY KEY, body TEXT);
INSERT INTO notes (body) VALUES ('a,b'), ('say "hi"'), ('two' || char(13, 10) || 'lines'),
    ('=HYPERLINK("http://x","y")'), ('-5'), (NULL), ('Zoë ✓');
CREATE TABLE numbers (n INTEGER);
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 100005)
INSERT INTO numbers SELECT i FROM c;
)sql";

void expectAttachment(const Page& page, const char* type, const char* file) {
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.complete);
    EXPECT_EQ(page.headers.value("content-type"), type);
    EXPECT_TRUE(page.headers.value("content-disposition")
                    .startsWith(QByteArray("attachment; filename=\"") + file + "\""))
        << page.headers.value("content-disposition").constData();
    EXPECT_EQ(page.headers.value("content-length").toInt(), page.content.size());
    EXPECT_EQ(page.headers.value("connection"), "close");
}

} // namespace

TEST(Csv, FieldsAreQuotedAndFormulasDefused) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"plain", "plain"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=1+2", "'=1+2"},
        {"+SUM(A1)", "'+SUM(A1)"},
        {"-x", "'-x"},
        {"@cmd", "'@cmd"},
        {"\t=1", "'\t=1"},
        {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
        {"-5", "-5"}, // a plain number stays a number
        {"+2.5e3", "+2.5e3"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(webapp::CsvField(QString::fromUtf8(c.text)), QString::fromUtf8(c.field))
            << c.text;
}

TEST(Exports, TablesAndQueryResultsWithAllTheirRows) {
    ExampleApplication app({}, EXTRA_SQL);
    ASSERT_TRUE(app.ready());
    Browser browser(app);

    const Page notes = browser.get("page=export&name=notes&format=csv");
    expectAttachment(notes, "text/csv; charset=utf-8", "notes.csv");
    EXPECT_EQ(notes.content,
              QByteArray("\xEF\xBB\xBFid,body\r\n1,\"a,b\"\r\n2,\"say \"\"hi\"\"\"\r\n"
                         "3,\"two\r\nlines\"\r\n"
                         "4,\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"\r\n"
                         "5,-5\r\n6,\r\n7,Zoë ✓\r\n"));

    const Page json = browser.get("page=export&name=notes&format=json&sort=id&dir=desc");
    expectAttachment(json, "application/json; charset=utf-8", "notes.json");
    const QJsonObject doc = QJsonDocument::fromJson(json.content).object();
    EXPECT_EQ(doc["columns"].toArray(), QJsonArray({"id", "body"}));
    const QJsonArray rows = doc["rows"].toArray();
    ASSERT_EQ(rows.size(), 7);
    EXPECT_EQ(rows[0].toArray(), QJsonArray({"7", QString::fromUtf8("Zoë ✓")}));
    EXPECT_TRUE(rows[1].toArray()[1].isNull());
    EXPECT_EQ(rows[5].toArray()[1].toString(), "say \"hi\"");
    EXPECT_FALSE(doc["truncated"].toBool());

    // Many replies' worth of rows, with the filter applied: as many as an export holds.
    const Page numbers = browser.get("page=export&name=numbers&format=csv&col1=n&op1=gt&val1=5");
    const QStringList lines = numbers.body.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 100000);
    EXPECT_EQ(lines[1], "6");
    EXPECT_EQ(lines.last(), "100005");
    EXPECT_FALSE(numbers.headers.contains("x-export-truncated"));
    // One more, and the export ends at its limit and says so.
    const Page all = browser.get("page=export&name=numbers&format=json");
    EXPECT_EQ(all.headers.value("x-export-truncated"), "true");
    const QJsonObject cut = QJsonDocument::fromJson(all.content).object();
    EXPECT_EQ(cut["rows"].toArray().size(), 100000);
    EXPECT_TRUE(cut["truncated"].toBool());

    const Page query =
        browser.get("page=export&kind=query&name=LowStock&p.threshold=30&run=1&format=json");
    expectAttachment(query, "application/json; charset=utf-8", "LowStock.json");
    const QJsonObject result = QJsonDocument::fromJson(query.content).object();
    EXPECT_EQ(result["rows"].toArray().size(), 3);
    EXPECT_EQ(result["rows"].toArray()[0].toArray()[1].toString(), "Sea salt");

    // The export links of a page carry its sort and filters.
    const Page table = browser.get("page=table&name=numbers&col1=n&op1=lt&val1=4&sort=n&dir=desc");
    const Page linked = browser.get(QueryOf(LinkTo(table.body, "CSV")));
    EXPECT_EQ(linked.content, "\xEF\xBB\xBFn\r\n3\r\n2\r\n1\r\n");
    EXPECT_EQ(browser.get("page=export&name=numbers&format=xml").status, 404);
}
