#include "dbsvrfixture.h"
#include "tests/support/qtprinters.h"

#include "common/files.h"
#include "common/xml.h"

#include <QDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

void MakeDatabase(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(code, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

const char TEST_SCHEMA[] = R"sql(
CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT NOT NULL, email TEXT, photo BLOB);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25)
INSERT INTO customers (id, name, email) SELECT i, 'Customer ' || i, 'c' || i || '@example.com' FROM n;
UPDATE customers SET email = NULL WHERE id = 3;
UPDATE customers SET photo = x'00FF10' WHERE id = 4;
UPDATE customers SET name = 'Zoë <&> "quoted"' WHERE id = 5;
CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER, amount REAL);
INSERT INTO orders VALUES (1, 1, 10.5), (2, 1, 20), (3, 2, 7.25), (4, 1, 3);
CREATE VIEW customer_orders AS
    SELECT c.name, o.amount FROM orders o JOIN customers c ON c.id = o.customer_id;
CREATE TABLE "odd ""name""" (value TEXT);
INSERT INTO "odd ""name""" VALUES ('inside');
)sql";

const char TEST_QUERIES[] = R"xml(
<Query name="OrdersOf">
  <Parameter name="customer" type="integer"/>
  <Sql>SELECT id, amount FROM orders WHERE customer_id = :customer ORDER BY id</Sql>
</Query>
<Query name="CustomerByName">
  <Sql>SELECT id, name FROM customers WHERE name = :name</Sql>
</Query>
<Query name="AllCustomers">
  <Sql>SELECT id FROM customers ORDER BY id</Sql>
</Query>
<Query name="AddOrder">
  <Parameter name="customer" type="integer"/>
  <Parameter name="amount" type="real"/>
  <Sql>INSERT INTO orders (customer_id, amount) VALUES (:customer, :amount)</Sql>
</Query>
<Query name="TwoStatements">
  <Sql>SELECT 1; DELETE FROM orders</Sql>
</Query>
<Query name="Unnamed">
  <Sql>SELECT id FROM orders WHERE customer_id = ?</Sql>
</Query>
)xml";

void WriteConfig(const QString& folder, const QString& database, const QString& queries) {
    const QString xml = QStringLiteral("<DataServer><Database>") + database.toHtmlEscaped() +
                        QStringLiteral("</Database><Queries>") + queries +
                        QStringLiteral("</Queries></DataServer>");
    common::SaveFile(QDir(folder).filePath(QStringLiteral("dataserver.xml")), xml.toUtf8());
}

Reply::Reply(const QByteArray& xml) : raw(xml) {
    EXPECT_TRUE(doc.load_buffer(xml.constData(), size_t(xml.size()))) << xml.constData();
}

QString Reply::text(const char* xpath) const {
    return common::NodeText(doc, QString::fromUtf8(xpath));
}

size_t Reply::count(const char* xpath) const {
    return doc.select_nodes(xpath).size();
}
