#include "dbsvr/database.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"

#include <QStringList>
#include <gtest/gtest.h>

// Finding rows on both kinds of database: searches (through a full-text index and by a scan),
// the empty ops, values of the wrong type, several sort keys, facets.

namespace {

using dbsvr::MAX_FACET_VALUE_CHARS;
using dbsvr::MAX_FACET_VALUES;

const char ITEMS_SQLITE[] =
    "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, note TEXT, qty INTEGER, "
    "price REAL, made DATE, photo BLOB);";
const char ITEMS_POSTGRESQL[] =
    "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, note TEXT, qty INTEGER, "
    "price DOUBLE PRECISION, made DATE, photo BYTEA);";
const char ITEMS_ROWS[] = "INSERT INTO items (id, name, note, qty, price, made) VALUES "
                          "(1, 'Espresso beans', 'dark roast', 5, 12.5, '2024-01-05'), "
                          "(2, 'Green tea', 'loose leaf OR bags', 5, 4.5, NULL), "
                          "(3, 'Tea 100% pure', 'a_b NEAR c', 0, 3.0, '2024-02-29'), "
                          "(4, 'Apple juice', 'say \"hi\" now*', 7, 2.2, '2024-03-01'), "
                          "(5, 'Espresso cups', NULL, 0, 9.0, NULL), "
                          "(6, 'Water', '', 7, 0.9, '2024-03-01');";

class FindRowsTest : public TestSchemaTest {
protected:
    void SetUp() override {
        TestSchemaTest::SetUp();
        if (IsSkipped())
            return;
        m_data.exec(m_data.pick(ITEMS_SQLITE, ITEMS_POSTGRESQL) + QString::fromLatin1(ITEMS_ROWS));
    }
    // The application's full-text index, declared as dbsvr/README.md tells.
    void addSearchIndex() {
        m_data.exec(
            m_data.pick("CREATE VIRTUAL TABLE items_fts USING fts5(name, note, content='items', "
                        "content_rowid='id'); INSERT INTO items_fts(items_fts) VALUES ('rebuild');",
                        "CREATE INDEX items_search ON items USING gin (to_tsvector('simple', "
                        "coalesce(name, '') || ' ' || coalesce(note, '')));"));
    }
    Reply read(const QString& extra, const char* type = "ReadTable") const {
        return ask(QStringLiteral("<XML><Type>%1</Type><Table>items</Table>%2</XML>")
                       .arg(QLatin1String(type), extra));
    }
    static QString search(const QString& words) {
        return "<Search>" + words.toHtmlEscaped() + "</Search>";
    }
    static QString filter(const QString& column, const QString& op, const QString& value = {}) {
        return "<Filter column=\"" + column + "\" op=\"" + op + "\">" + value.toHtmlEscaped() +
               "</Filter>";
    }
    // The ids of a Rows reply, in order.
    static QString ids(const Reply& r) {
        QStringList out;
        for (const pugi::xpath_node& n : r.doc.select_nodes("/XML/Rows/Row/Field[@name='id']"))
            out << QString::fromUtf8(n.node().text().get());
        return out.join(QLatin1Char(','));
    }
    void expectSearches() const {
        const struct {
            const char* words;
            const char* ids;
        } cases[] = {
            {"espresso", "1,5"}, {"BEANS   espresso", "1"}, // any order, any case
            {"tea", "2,3"},      {"or", "2"},     // FTS operators are words like any other
            {"NEAR", "3"},       {"100%", "3"},   // % and _ are plain characters
            {"a_b", "3"},        {"%", "3"},      // a word of no letters is looked for by a scan
            {"_", "3"},          {"\"hi\"", "4"}, // quotes too
            {"now*", "4"},       {"tea juice", ""},
            {"", "1,2,3,4,5,6"},
        };
        for (const auto& c : cases) {
            const Reply r = read(search(QString::fromUtf8(c.words)));
            EXPECT_EQ(r.text("/XML/Error"), "") << c.words << r.raw.constData();
            EXPECT_EQ(ids(r), c.ids) << c.words;
            EXPECT_EQ(r.text("/XML/Truncated"), "") << c.words;
        }
        // With filters, order, paging and the total.
        EXPECT_EQ(ids(read(search("espresso") + filter("qty", "ge", "5"))), "1");
        const Reply paged =
            read(search("tea") + "<OrderBy descending=\"true\">id</OrderBy><Limit>1</Limit>");
        EXPECT_EQ(ids(paged), "3");
        EXPECT_EQ(paged.text("/XML/Total"), "2");
        EXPECT_EQ(paged.text("/XML/More"), "true");
    }
};

INSTANTIATE_TEST_SUITE_P(Databases, FindRowsTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

TEST_P(FindRowsTest, SearchByScanFindsRowsHoldingEveryWord) {
    expectSearches();
    // Words are looked for anywhere in a text column.
    EXPECT_EQ(ids(read(search("spres"))), "1,5");
}

TEST_P(FindRowsTest, SearchThroughTheFullTextIndexFindsTheSame) {
    addSearchIndex();
    expectSearches();
    // The index is not listed as a table of its own.
    const Reply tables = ask("<XML><Type>ListTables</Type></XML>");
    EXPECT_EQ(tables.count("/XML/Tables/Table[starts-with(., 'items_')]"), 0u)
        << tables.raw.constData();
}

TEST_P(FindRowsTest, SearchWithTheIndexFindsWordsByTheirStartOnSqlite) {
    if (m_data.backend() != Backend::Sqlite)
        GTEST_SKIP() << "PostgreSQL's text search finds whole words";
    addSearchIndex();
    EXPECT_EQ(ids(read(search("espr BEA"))), "1");
}

TEST_P(FindRowsTest, ScanReadsAtMostItsLimitAndSaysSo) {
    m_data.exec(m_data.pick(
        "CREATE TABLE big (id INTEGER PRIMARY KEY, name TEXT); "
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100010) "
        "INSERT INTO big SELECT i, 'row ' || i FROM n;",
        "CREATE TABLE big (id INTEGER PRIMARY KEY, name TEXT); "
        "INSERT INTO big SELECT i, 'row ' || i FROM generate_series(1, 100010) AS i;"));
    const auto big = [this](const QString& extra) {
        return ask("<XML><Type>ReadTable</Type><Table>big</Table>" + extra + "</XML>");
    };
    // The last rows lie beyond what a scan reads.
    const Reply beyond = big(search("100005"));
    EXPECT_EQ(beyond.text("/XML/Error"), "") << beyond.raw.constData();
    EXPECT_EQ(beyond.text("/XML/Truncated"), "true");
    if (m_data.backend() == Backend::Sqlite) { // PostgreSQL reads in an order of its own
        EXPECT_EQ(beyond.text("/XML/Total"), "0");
    }
    // A filter that leaves fewer rows lets the scan see them all.
    const Reply narrowed = big(search("100005") + filter("id", "gt", "100000"));
    EXPECT_EQ(narrowed.text("/XML/Total"), "1");
    EXPECT_EQ(narrowed.text("/XML/Truncated"), "");
    EXPECT_EQ(big("").text("/XML/Truncated"), ""); // no search, nothing scanned
}

TEST_P(FindRowsTest, EmptyOpsAndValuesOfTheWrongType) {
    const struct {
        QString filters;
        const char* ids;
    } found[] = {
        {filter("note", "empty"), "5,6"}, // NULL or '' in a text column
        {filter("note", "notempty"), "1,2,3,4"},
        {filter("made", "empty"), "2,5"}, // NULL elsewhere
        {filter("qty", "notempty") + filter("made", "notempty"), "1,3,4,6"},
        {filter("made", "ge", "2024-02-29"), "3,4,6"},
        {filter("made", "lt", "2024-03-02 10:00"), "1,3,4,6"},
        {filter("price", "lt", "3"), "4,6"},
        {filter("price", "lt", "1e1"), "2,3,4,5,6"},
        {filter("qty", "contains", "7"), "4,6"}, // digits looked for as text
    };
    for (const auto& c : found) {
        const Reply r = read(c.filters);
        EXPECT_EQ(r.text("/XML/Error"), "") << c.filters.toStdString() << r.raw.constData();
        EXPECT_EQ(ids(r), c.ids) << c.filters.toStdString();
    }
    const struct {
        QString filters;
        const char* index;
        const char* column;
    } refused[] = {
        {filter("name", "eq", "x") + filter("qty", "gt", "abc"), "2", "qty"},
        {filter("price", "eq", "12,5"), "1", "price"},
        {filter("made", "eq", "2024-02-30"), "1", "made"},
        {filter("made", "ge", "05.01.2024"), "1", "made"},
        {filter("name", "eq", "") + filter("note", "eq", "") + filter("made", "lt", "yesterday"),
         "3", "made"},
    };
    for (const auto& c : refused) {
        const Reply r = read(c.filters);
        EXPECT_EQ(r.text("/XML/Error"), "InvalidArgument") << c.filters.toStdString();
        EXPECT_EQ(r.text("/XML/Filter/@index"), c.index) << c.filters.toStdString();
        EXPECT_EQ(r.text("/XML/Filter/@column"), c.column) << c.filters.toStdString();
        // Facets refuse it the same way.
        EXPECT_EQ(read(c.filters, "Facets").text("/XML/Filter/@index"), c.index);
    }
}

TEST_P(FindRowsTest, SeveralSortKeys) {
    EXPECT_EQ(ids(read("<OrderBy descending=\"true\">qty</OrderBy><OrderBy>price</OrderBy>")),
              "6,4,2,1,3,5");
    EXPECT_EQ(ids(read("<OrderBy>qty</OrderBy><OrderBy descending=\"1\">price</OrderBy>")),
              "5,3,1,2,4,6");
    // The single form of before: Descending for the one key.
    EXPECT_EQ(ids(read("<OrderBy>price</OrderBy><Descending>true</Descending><Limit>2</Limit>")),
              "1,5");
    QString five;
    for (const char* c : {"qty", "price", "name", "note", "id"})
        five += QStringLiteral("<OrderBy>%1</OrderBy>").arg(QLatin1String(c));
    EXPECT_EQ(read(five).text("/XML/Error"), "InvalidArgument");
    EXPECT_EQ(read("<OrderBy>qty</OrderBy><OrderBy>nope</OrderBy>").text("/XML/Error"),
              "UnknownColumn");
}

TEST_P(FindRowsTest, FacetsCountTheValuesOfTheRowsThatPass) {
    m_data.exec(QStringLiteral("UPDATE items SET note = '%1' WHERE id = 6;")
                    .arg(QString(MAX_FACET_VALUE_CHARS + 1, QLatin1Char('x'))));
    const Reply all = read("", "Facets");
    EXPECT_EQ(all.text("/XML/Type"), "Facets") << all.raw.constData();
    EXPECT_EQ(all.text("/XML/Error"), "");
    // Neither the key, nor the BLOB, nor a column with a value too long to be a facet.
    EXPECT_EQ(all.count("/XML/Facets/Facet[@column='id']"), 0u);
    EXPECT_EQ(all.count("/XML/Facets/Facet[@column='photo']"), 0u);
    EXPECT_EQ(all.count("/XML/Facets/Facet[@column='note']"), 0u);
    EXPECT_EQ(all.count("/XML/Facets/Facet[@column='qty']/Value"), 3u);
    EXPECT_EQ(all.text("/XML/Facets/Facet[@column='qty']/Value[.='5']/@count"), "2");
    EXPECT_EQ(all.text("/XML/Facets/Facet[@column='made']/Value[@null='true']/@count"), "2");
    EXPECT_EQ(all.text("/XML/Truncated"), "");

    // With a filter and a search, only the rows that pass count.
    const Reply some = read(filter("price", "gt", "1") + search("tea"), "Facets");
    EXPECT_EQ(some.count("/XML/Facets/Facet[@column='qty']/Value"), 2u) << some.raw.constData();
    EXPECT_EQ(some.text("/XML/Facets/Facet[@column='qty']/Value[.='0']/@count"), "1");
    EXPECT_EQ(some.text("/XML/Facets/Facet[@column='qty']/Value[.='5']/@count"), "1");

    // More than MAX_FACET_VALUES values: no facet.
    QString many;
    for (int i = 0; i <= MAX_FACET_VALUES; ++i)
        many += QStringLiteral("INSERT INTO items (id, qty) VALUES (%1, %1);").arg(100 + i);
    m_data.exec(many);
    EXPECT_EQ(read("", "Facets").count("/XML/Facets/Facet[@column='qty']"), 0u);
    EXPECT_EQ(read(filter("id", "lt", "100"), "Facets").count("/XML/Facets/Facet[@column='qty']"),
              1u);
}

} // namespace
