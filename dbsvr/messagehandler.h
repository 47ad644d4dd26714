#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pugi {
class xml_node;
}

namespace dbsvr {

class Config;
class Database;
struct NamedQuery;

// Texts of <Error> in a reply; an empty <Error/> means success.
inline constexpr char ERROR_INVALID_REQUEST[] = "InvalidRequest";
inline constexpr char ERROR_UNKNOWN_TABLE[] = "UnknownTable";
inline constexpr char ERROR_UNKNOWN_COLUMN[] = "UnknownColumn";
inline constexpr char ERROR_UNKNOWN_QUERY[] = "UnknownQuery";
inline constexpr char ERROR_UNKNOWN_PARAMETER[] = "UnknownParameter";
inline constexpr char ERROR_MISSING_PARAMETER[] = "MissingParameter";
inline constexpr char ERROR_INVALID_ARGUMENT[] = "InvalidArgument";
inline constexpr char ERROR_NOT_CONNECTED[] = "UnableToConnectDB";
inline constexpr char ERROR_DATABASE[] = "DatabaseError";

// Rows per reply when the request gives no Limit, and the most it may ask for.
inline constexpr int DEFAULT_LIMIT = 100;
inline constexpr int MAX_LIMIT = 1000;

// Turns one request message into its reply; no files, no queues, so it can be
// tested on its own. Both are UTF-8 XML with the root XML and a Type:
//
//   Ping        -> Pong       Message tells the version and the database state
//   ListTables  -> Tables     <Tables><Table type="table|view">name</Table>...
//   ListQueries -> Queries    <Queries><Query name=".."><Parameter name=".." type=".."/>...
//   ReadTable   -> Rows       request: Table, Offset (0), Limit (100, at most 1000),
//                             OrderBy (a column), Descending (true/1)
//   Query       -> Rows       request: Name, Parameters/Parameter[@name] (value as
//                             text, or null="true"), Offset, Limit
//
// Every reply has <Type>, <Error> and <Message>; a failure gives Type "Error",
// the code in Error and the reason in Message. Rows replies carry Columns/Column,
// Rows/Row/Field[@name] (null="true" for NULL, type="blob" with base64 text
// for a BLOB), Offset, Limit, Count and More; ReadTable adds Total, and a
// query that changes data instead gives Changes.
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
    void readTable(const pugi::xml_node& request, pugi::xml_node reply) const;
    void runQuery(const pugi::xml_node& request, pugi::xml_node reply) const;
    Database& database() const;
    const Config& config() const;

    const Config* m_config = nullptr;
    Database* m_database = nullptr;
    QString m_connectError;
};

} // namespace dbsvr
