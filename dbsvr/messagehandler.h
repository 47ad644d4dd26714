#pragma once

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pugi {
class xml_node;
}

namespace dbsvr {

class Config;

// Turns one request message into its reply; no files, no queues, so it can be
// tested on its own. Both are UTF-8 XML with the root XML and a Type:
//
//   Ping          -> Pong     Message tells the version and the database state
//   ListTables    -> Tables   <Tables><Table type="table|view" rows="n">name</Table>...
//   ListQueries   -> Queries  <Queries><Query name=".." kind="read|write">
//                             <Parameter name=".." type=".."/>...
//   DescribeTable -> Table    request: Table; reply: Table[@type], Columns/Column
//                             (name, type, notnull, pk), ForeignKeys/ForeignKey,
//                             ReferencedBy/Reference, each with Map[@from, @to]
//   ReadTable     -> Rows     request: Table, Offset (0), Limit (100, at most 1000),
//                             OrderBy (a column), Descending (true/1),
//                             Filter[@column, @op, @null] (any number, all apply)
//   Query         -> Rows     request: Name, Parameters/Parameter[@name] (value as
//                             text, or null="true"), Offset, Limit, RequestId
//
// Every reply has <Type>, <Error> and <Message>; a failure gives Type "Error",
// the code in Error and the reason in Message. Rows replies carry Columns/Column,
// Rows/Row/Field[@name] (null="true" for NULL, type="blob" with base64 text
// for a BLOB), Offset, Limit, Count and More; ReadTable adds Total. A query
// that writes gives Changes and LastInsertId instead, and Duplicate when its
// RequestId had been applied already.
//
// Table and column names are checked against the schema and only then quoted
// into SQL; a client's values are always bound; clients name queries of the
// configuration and never send SQL.
class MessageHandler final {
public:
    // config is nullptr when no configuration could be read and database is
    // nullptr when none is open; connectError then says why.
    MessageHandler(const Config* config, Database* database, QString connectError = {});

    QByteArray handle(QByteArrayView request) const;

private:
    void ping(pugi::xml_node reply) const;
    void listTables(pugi::xml_node reply) const;
    void listQueries(pugi::xml_node reply) const;
    void describeTable(const pugi::xml_node& request, pugi::xml_node reply) const;
    void readTable(const pugi::xml_node& request, pugi::xml_node reply) const;
    void runQuery(const pugi::xml_node& request, pugi::xml_node reply) const;
    Database& database() const;
    const Config& config() const;

    const Config* m_config = nullptr;
    Database* m_database = nullptr;
    QString m_connectError;
};

} // namespace dbsvr
