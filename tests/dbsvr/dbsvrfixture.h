#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <pugixml.hpp>

// Shared by the data server tests: real SQLite files and configuration files
// in temporary folders.

// Creates an SQLite file from SQL text straight through SQLite, independent
// of the code under test.
void MakeDatabase(const QString& path, const char* sql);

// customers (25 rows, ids 1..25, one NULL email, one BLOB photo), orders of
// customers 1 and 2, the view customer_orders, and a table whose name needs
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
