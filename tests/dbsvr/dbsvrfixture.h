#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <pugixml.hpp>

// Shared by the data server tests: real SQLite files and configuration files
// in temporary folders.

// Creates an SQLite file from SQL text straight through SQLite, independent
// of the code under test.
void MakeDatabase(const QString& path, const char* sql);

// The first column of the first row SQL gives, read straight through SQLite;
// "" when there is no row.
QString QueryValue(const QString& path, const char* sql);

// Runs body as the user "nobody" in a child process when the tests run as
// root (to whom every file is writable), else right here; what body returns
// comes back. The child only runs body and ends.
QStringList AsUnprivilegedUser(const std::function<QStringList()>& body);

// customers (25 rows, ids 1..25, one NULL email, one BLOB photo, names
// "Customer <id>" but for 5 and 6), orders of customers 1 and 2, the view
// customer_orders (with an expression column), and a table whose name needs
// quoting: odd "name".
extern const char TEST_SCHEMA[];

// The queries of the test configuration (an XML fragment for <Queries>).
extern const char TEST_QUERIES[];

// Writes <folder>/dataserver.xml naming the database and holding the queries.
void WriteConfig(const QString& folder, const QString& database, const QString& queries);

// A parsed reply with XPath access.
struct Reply {
    explicit Reply(const QByteArray& xml);
    QString text(const char* xpath) const;
    size_t count(const char* xpath) const;

    pugi::xml_document doc;
    QByteArray raw;
};
