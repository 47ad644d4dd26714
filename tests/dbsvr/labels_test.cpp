#include "dbsvr/config.h"
#include "dbsvr/messagehandler.h"
#include "dbsvrfixture.h"
#include "testdatabase.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

// Products have a label (their first text column), sizes have no text column, the table with
// hostile names labels by a column whose name is hostile too; items point at all of them, and
// have a column "name" of their own.
const char SQLITE_SCHEMA[] = R"sql(
CREATE TABLE products (id INTEGER PRIMARY KEY, price REAL, name TEXT);
INSERT INTO products VALUES (1, 2.5, 'Tea'), (2, 9.0, 'Espresso beans'), (3, 1.0, NULL);
CREATE TABLE sizes (code INTEGER PRIMARY KEY, grams INTEGER);
INSERT INTO sizes VALUES (250, 250);
CREATE TABLE "x"" FROM products; --" ("k ""1""" INTEGER PRIMARY KEY, "l)a,b" TEXT);
INSERT INTO "x"" FROM products; --" VALUES (7, 'hostile but fine');
CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT,
                    product_id INTEGER REFERENCES products(id),
                    size_code INTEGER REFERENCES sizes(code),
                    "odd"")" INTEGER REFERENCES "x"" FROM products; --"("k ""1"""));
INSERT INTO items VALUES (1, 'first', 2, 250, 7), (2, 'second', 1, NULL, NULL),
                         (3, 'third', NULL, 250, 7), (4, 'fourth', 99, 250, 8),
                         (5, 'fifth', 3, NULL, NULL);
)sql";

// The same; the dangling keys go in before their constraint, which then checks only new rows.
const char POSTGRESQL_SCHEMA[] = R"sql(
CREATE TABLE products (id INTEGER PRIMARY KEY, price DOUBLE PRECISION, name TEXT);
INSERT INTO products VALUES (1, 2.5, 'Tea'), (2, 9.0, 'Espresso beans'), (3, 1.0, NULL);
CREATE TABLE sizes (code INTEGER PRIMARY KEY, grams INTEGER);
INSERT INTO sizes VALUES (250, 250);
CREATE TABLE "x"" FROM products; --" ("k ""1""" INTEGER PRIMARY KEY, "l)a,b" TEXT);
INSERT INTO "x"" FROM products; --" VALUES (7, 'hostile but fine');
CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, product_id INTEGER,
                    size_code INTEGER REFERENCES sizes(code), "odd"")" INTEGER);
INSERT INTO items VALUES (1, 'first', 2, 250, 7), (2, 'second', 1, NULL, NULL),
                         (3, 'third', NULL, 250, 7), (4, 'fourth', 99, 250, 8),
                         (5, 'fifth', 3, NULL, NULL);
ALTER TABLE items ADD FOREIGN KEY (product_id) REFERENCES products(id) NOT VALID;
ALTER TABLE items ADD FOREIGN KEY ("odd"")") REFERENCES "x"" FROM products; --"("k ""1""")
    NOT VALID;
)sql";

// Parameters whose values are a table's keys: only a table there, not the server's own, with
// a key of one column is told.
const char QUERIES[] = R"xml(
<Query name="Pick">
  <Parameter name="product" type="integer" table="products"/>
  <Parameter name="gone" type="integer" table="nosuch"/>
  <Parameter name="pair" type="integer" table="pairs"/>
  <Parameter name="user" table="quorvex_users"/>
  <Parameter name="plain" type="integer"/>
  <Sql>SELECT :product, :gone, :pair, :user, :plain</Sql>
</Query>)xml";

class LabelsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        const QString skip = m_data.create(SQLITE_SCHEMA, POSTGRESQL_SCHEMA, QUERIES);
        if (!skip.isEmpty())
            GTEST_SKIP() << skip.toStdString();
        m_db = m_data.open();
    }
    Reply ask(const QString& request) const {
        return Reply(dbsvr::MessageHandler(&m_data.config(), m_db.get()).handle(request.toUtf8()));
    }
    Reply items(const QString& extra) const {
        return ask("<XML><Type>ReadTable</Type><Table>items</Table>" + extra + "</XML>");
    }
    // The label of a field of row (1-based) of a reply, "" when it has none.
    static QString label(const Reply& r, int row, const QString& column) {
        const QString xpath = QStringLiteral("/XML/Rows/Row[%1]/Field[@name='%2']/@label")
                                  .arg(row)
                                  .arg(QString(column).replace("'", "&apos;"));
        return r.text(xpath.toUtf8().constData());
    }
    static size_t labels(const Reply& r) { return r.count("/XML/Rows/Row/Field[@label]"); }

    TestDatabase m_data{GetParam()};
    std::unique_ptr<dbsvr::Database> m_db;
};

INSTANTIATE_TEST_SUITE_P(Databases, LabelsTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgresql), BackendName);

TEST_P(LabelsTest, ForeignKeysCarryTheLabelOfTheRowTheyReferTo) {
    const Reply r = items("<Labels>true</Labels>");
    ASSERT_EQ(r.text("/XML/Error"), "") << r.raw.constData();
    EXPECT_EQ(label(r, 1, "product_id"), "Espresso beans");
    EXPECT_EQ(r.text("/XML/Rows/Row[1]/Field[@name='product_id']"), "2"); // the value stays
    EXPECT_EQ(label(r, 2, "product_id"), "Tea");
    // A table and a label column with hostile names.
    EXPECT_EQ(label(r, 1, "odd\")"), "hostile but fine");
    // No label: a NULL key, a key to no row, a row whose label is NULL, a table without text.
    EXPECT_EQ(r.count("/XML/Rows/Row[3]/Field[@name='product_id' and @label]"), 0u);
    EXPECT_EQ(r.count("/XML/Rows/Row[4]/Field[@name='product_id' and @label]"), 0u);
    EXPECT_EQ(r.count("/XML/Rows/Row[4]/Field[@name='odd\")' and @label]"), 0u);
    EXPECT_EQ(r.count("/XML/Rows/Row[5]/Field[@name='product_id' and @label]"), 0u);
    EXPECT_EQ(r.count("/XML/Rows/Row/Field[@name='size_code' and @label]"), 0u);
    EXPECT_EQ(labels(r), 4u);
    // The labels are no columns: the reply's columns are the table's.
    EXPECT_EQ(r.count("/XML/Columns/Column"), 5u);
    EXPECT_EQ(r.count("/XML/Rows/Row[1]/Field"), 5u);
    // Without asking, none.
    EXPECT_EQ(labels(items({})), 0u);
}

TEST_P(LabelsTest, FiltersSortingPagingAndTotalAreAsWithoutLabels) {
    // "name" is a column of items and the label column of products: sorting by it sorts items.
    for (const QString& view :
         {QString("<OrderBy>name</OrderBy><Descending>true</Descending><Limit>2</Limit>"),
          QString("<Filter column=\"size_code\" op=\"eq\">250</Filter><Offset>1</Offset>"
                  "<Limit>1</Limit>"),
          QString("<Filter column=\"product_id\" op=\"eq\" null=\"true\"/>"),
          QString("<OrderBy>odd\")</OrderBy><Offset>2</Offset>")}) {
        const Reply plain = items(view);
        const Reply labelled = items(view + "<Labels>true</Labels>");
        ASSERT_EQ(labelled.text("/XML/Error"), "") << labelled.raw.constData();
        for (const char* element : {"/XML/Total", "/XML/Count", "/XML/More", "/XML/Offset"})
            EXPECT_EQ(labelled.text(element), plain.text(element)) << element;
        ASSERT_EQ(labelled.count("/XML/Rows/Row"), plain.count("/XML/Rows/Row"));
        for (size_t i = 1; i <= plain.count("/XML/Rows/Row"); ++i) {
            const QString id = QStringLiteral("/XML/Rows/Row[%1]/Field[@name='id']").arg(i);
            EXPECT_EQ(labelled.text(id.toUtf8().constData()), plain.text(id.toUtf8().constData()));
        }
    }
    const Reply sorted = items("<OrderBy>name</OrderBy><Limit>1</Limit><Labels>true</Labels>");
    EXPECT_EQ(sorted.text("/XML/Rows/Row[1]/Field[@name='name']"), "fifth");
    // Unknown names are refused as before.
    EXPECT_EQ(items("<OrderBy>nope</OrderBy><Labels>true</Labels>").text("/XML/Error"),
              "UnknownColumn");
}

// A labelled read that searches, filters and sorts by two keys: the search looks at the items'
// own text only (never at a label), the second key orders the ties of the first, and "name"
// is the items' column even though it is the products' label column too. Then the same through
// a full-text index.
TEST_P(LabelsTest, ASearchWithFiltersAndTwoSortKeysKeepsRowsLabelsAndOrder) {
    // "t" is in first, third, fourth and fifth; fifth has no size; odd") is 8 for fourth and 7
    // for first and third, whose names then order them.
    const QString found = "<Labels>true</Labels><Search>T</Search>"
                          "<Filter column=\"size_code\" op=\"notempty\"/>"
                          "<OrderBy descending=\"true\">odd\")</OrderBy>";
    for (const auto& [second, order] :
         {std::pair{QString("<OrderBy>name</OrderBy>"), QStringList{"4", "1", "3"}},
          std::pair{QString("<OrderBy descending=\"true\">name</OrderBy>"),
                    QStringList{"4", "3", "1"}}}) {
        const Reply r = items(found + second);
        ASSERT_EQ(r.text("/XML/Error"), "") << r.raw.constData();
        QStringList ids;
        for (size_t i = 1; i <= r.count("/XML/Rows/Row"); ++i)
            ids << r.text(
                QStringLiteral("/XML/Rows/Row[%1]/Field[@name='id']").arg(i).toUtf8().constData());
        EXPECT_EQ(ids, order);
        EXPECT_EQ(r.text("/XML/Total"), "3");
        const int first = int(order.indexOf("1")) + 1;
        const int third = int(order.indexOf("3")) + 1;
        EXPECT_EQ(label(r, first, "product_id"), "Espresso beans");
        EXPECT_EQ(label(r, first, "odd\")"), "hostile but fine");
        EXPECT_EQ(label(r, third, "odd\")"), "hostile but fine");
        EXPECT_EQ(labels(r), 3u); // fourth refers to rows that are not there
    }
    // A label's words are not the row's: "Espresso" is only a label of item 1.
    EXPECT_EQ(items("<Labels>true</Labels><Search>espresso</Search>").count("/XML/Rows/Row"), 0u);

    m_data.exec(
        m_data.pick("CREATE VIRTUAL TABLE items_fts USING fts5(name, content='items', "
                    "content_rowid='id'); INSERT INTO items_fts(items_fts) VALUES ('rebuild');",
                    "CREATE INDEX items_search ON items USING gin (to_tsvector('simple', "
                    "coalesce(name, '')));"));
    const Reply indexed = items("<Labels>true</Labels><Search>FIRST</Search><OrderBy "
                                "descending=\"true\">name</OrderBy><OrderBy>id</OrderBy>");
    ASSERT_EQ(indexed.text("/XML/Error"), "") << indexed.raw.constData();
    EXPECT_EQ(indexed.count("/XML/Rows/Row"), 1u);
    EXPECT_EQ(indexed.text("/XML/Rows/Row[1]/Field[@name='id']"), "1");
    EXPECT_EQ(label(indexed, 1, "product_id"), "Espresso beans");
}

TEST_P(LabelsTest, AnExportCarriesTheLabelsToo) {
    const QList<QByteArray> parts =
        dbsvr::MessageHandler(&m_data.config(), m_db.get())
            .replies("<XML><Type>ReadTable</Type><Table>items</Table>"
                     "<Export>true</Export><Labels>true</Labels></XML>");
    ASSERT_EQ(parts.size(), 1);
    const Reply r(parts.first());
    EXPECT_EQ(r.count("/XML/Rows/Row"), 5u);
    EXPECT_EQ(label(r, 1, "product_id"), "Espresso beans");
    EXPECT_EQ(labels(r), 4u);
    EXPECT_EQ(r.count("/XML/Columns/Column"), 5u);
}

TEST_P(LabelsTest, FacetsOfForeignKeysCarryTheLabelsOfTheirValues) {
    const auto facets = [this](const QString& extra) {
        return ask("<XML><Type>Facets</Type><Table>items</Table>" + extra + "</XML>");
    };
    const Reply r = facets("<Labels>true</Labels><Filter column=\"id\" op=\"lt\">5</Filter>");
    const auto value = [&r](const char* column, const char* value, const char* what) {
        return r.text(QStringLiteral("/XML/Facets/Facet[@column='%1']/Value[.='%2']/@%3")
                          .arg(column, value, what)
                          .toUtf8()
                          .constData());
    };
    EXPECT_EQ(value("product_id", "2", "label"), "Espresso beans") << r.raw.constData();
    EXPECT_EQ(value("product_id", "1", "label"), "Tea");
    EXPECT_EQ(value("product_id", "1", "count"), "1");
    EXPECT_EQ(value("product_id", "99", "count"), "1"); // dangling: counted, not labelled
    EXPECT_EQ(r.count("/XML/Facets/Facet[@column='product_id']/Value[.='99']/@label"), 0u);
    EXPECT_EQ(r.count("/XML/Facets/Facet[@column='product_id']/Value[@null]/@label"), 0u);
    EXPECT_EQ(r.text("/XML/Facets/Facet[@column='odd\")']/Value[.='7']/@label"),
              "hostile but fine");
    // Sizes have no label column; a column of the table itself is never labelled.
    EXPECT_EQ(r.count("/XML/Facets/Facet[@column='size_code']/Value[@label]"), 0u);
    EXPECT_EQ(r.count("/XML/Facets/Facet[@column='name']/Value[@label]"), 0u);
    EXPECT_EQ(facets("").count("/XML/Facets/Facet/Value[@label]"), 0u);
}

TEST_P(LabelsTest, KeysToTheServersOwnTablesGetNoLabel) {
    // A table of the application may point at the users' table: their names stay unread.
    m_data.exec("CREATE TABLE quorvex_users (name TEXT PRIMARY KEY, hash TEXT);"
                "INSERT INTO quorvex_users VALUES ('alice', 'secret');"
                "CREATE TABLE notes (id INTEGER PRIMARY KEY, "
                "who TEXT REFERENCES quorvex_users(name));"
                "INSERT INTO notes VALUES (1, 'alice');");
    const Reply r =
        ask("<XML><Type>ReadTable</Type><Table>notes</Table><Labels>true</Labels></XML>");
    EXPECT_EQ(r.text("/XML/Error"), "");
    EXPECT_EQ(labels(r), 0u);
}

} // namespace

TEST_P(LabelsTest, AConfiguredLabelColumnIsUsed) {
    // Products labelled by their price instead of their name; a configured column the table
    // lacks falls back to the first text column.
    QFile file(dbsvr::Config::FilePath(m_data.folder()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString xml = QString::fromUtf8(file.readAll());
    file.close();
    xml.replace("</DataServer>", "<Tables><Table name=\"products\" label=\"price\"/>"
                                 "<Table name=\"sizes\" label=\"nope\"/></Tables></DataServer>");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(xml.toUtf8());
    file.close();
    const dbsvr::Config config = dbsvr::Config::Load(m_data.folder());
    const Reply r(dbsvr::MessageHandler(&config, m_db.get())
                      .handle("<XML><Type>ReadTable</Type><Table>items</Table>"
                              "<Labels>true</Labels></XML>"));
    EXPECT_EQ(label(r, 1, "product_id"), m_data.pick("9.0", "9"));
    EXPECT_EQ(label(r, 5, "product_id"),
              m_data.pick("1.0", "1")); // a label even where the name is NULL
    EXPECT_EQ(r.count("/XML/Rows/Row/Field[@name='size_code' and @label]"), 0u);
}

TEST_P(LabelsTest, ListQueriesNamesTheTableOfAParameterOnlyWhenItsKeyIsOneColumn) {
    m_data.exec("CREATE TABLE pairs (a INTEGER, b INTEGER, PRIMARY KEY (a, b));"
                "CREATE TABLE quorvex_users (name TEXT PRIMARY KEY);");
    const Reply r = ask("<XML><Type>ListQueries</Type></XML>");
    const auto table = [&r](const char* parameter) {
        return r.text(QString("/XML/Queries/Query[@name='Pick']/Parameter[@name='%1']/@table")
                          .arg(parameter)
                          .toUtf8()
                          .constData());
    };
    EXPECT_EQ(table("product"), "products");
    EXPECT_EQ(table("gone"), "");
    EXPECT_EQ(table("pair"), "");
    EXPECT_EQ(table("user"), "");
    EXPECT_EQ(table("plain"), "");
}
