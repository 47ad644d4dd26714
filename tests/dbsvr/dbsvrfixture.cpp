#include "dbsvrfixture.h"
#include "tests/support/qtprinters.h"

#include "common/files.h"
#include "common/xml.h"

#include <QDataStream>
#include <QDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

void MakeDatabase(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int code = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(code, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

QString QueryValue(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_stmt* s = nullptr;
    QString value;
    int code = sqlite3_open(path.toUtf8().constData(), &db);
    if (code == SQLITE_OK)
        code = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    if (code == SQLITE_OK)
        code = sqlite3_step(s);
    if (code == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    else if (code != SQLITE_DONE)
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
}

QStringList AsUnprivilegedUser(const std::function<QStringList()>& body) {
    if (geteuid() != 0)
        return body();
    const passwd* nobody = getpwnam("nobody");
    int fds[2];
    if (!nobody || pipe(fds) != 0) {
        ADD_FAILURE() << "no user nobody, or no pipe";
        return {};
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(2);
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << body();
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::write(fds[1], bytes.constData() + at, size_t(bytes.size() - at));
            if (n <= 0)
                _exit(3);
            at += n;
        }
        _exit(0);
    }
    ::close(fds[1]);
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    QStringList result;
    QDataStream in(bytes);
    in >> result;
    return result;
}

const char TEST_SCHEMA[] = R"sql(
CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT NOT NULL, email TEXT, photo BLOB);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 25)
INSERT INTO customers (id, name, email) SELECT i, 'Customer ' || i, 'c' || i || '@example.com' FROM n;
UPDATE customers SET email = NULL WHERE id = 3;
UPDATE customers SET photo = x'00FF10' WHERE id = 4;
UPDATE customers SET name = 'Zoë <&> "quoted"' WHERE id = 5;
UPDATE customers SET name = 'Half_price 50%' WHERE id = 6;
CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER REFERENCES customers,
                     amount REAL);
INSERT INTO orders VALUES (1, 1, 10.5), (2, 1, 20), (3, 2, 7.25), (4, 1, 3);
CREATE VIEW customer_orders AS
    SELECT c.name, o.amount, o.amount * 2 AS doubled
    FROM orders o JOIN customers c ON c.id = o.customer_id;
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
<Query name="AddCustomer">
  <Sql>INSERT INTO customers (name) VALUES (:name)</Sql>
</Query>
<Query name="RenameCustomer">
  <Parameter name="id" type="integer"/>
  <Sql>UPDATE customers SET name = :name WHERE id = :id</Sql>
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
