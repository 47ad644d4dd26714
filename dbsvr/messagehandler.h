#pragma once

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>

namespace common {
class Error;
}
namespace pugi {
class xml_node;
}

namespace dbsvr {

class Config;
class ReplySink;
struct NamedQuery;

// Turns one request message into its reply; no files, no queues, so it can be
// tested on its own. Both are UTF-8 XML with the root XML and a Type:
//
//   Ping          -> Pong     Message tells the version and the database state
//   ListTables    -> Tables   <Tables><Table type="table|view" rows="n">name</Table>...
//   ListQueries   -> Queries  <Queries><Query name=".." kind="read|write" title=".."
//                             description=".." label=".." use="choices">
//                             <Parameter name=".." type=".." title=".." .../>...
//                             <Link column=".." table=".."/>... (texts only where given)
//   DescribeTable -> Table    request: Table; reply: Table[@type], Columns/Column
//                             (name, type, notnull, pk), ForeignKeys/ForeignKey,
//                             ReferencedBy/Reference, each with Map[@from, @to]
//   ReadTable     -> Rows     request: Table, Offset (0), Limit (100, at most 1000),
//                             OrderBy[@descending] (a column; up to MAX_SORT_KEYS),
//                             Descending (true/1, for the first OrderBy),
//                             Filter[@column, @op, @null] (any number, all apply),
//                             Search (words), Labels (true: each single-column foreign
//                             key's Field carries its referenced row's label as @label);
//                             reply: Truncated when a search stopped early
//   Facets        -> Facets   request: as ReadTable; reply: Table, Facets/Facet[@column]/
//                             Value[@count, @null], Truncated
//   Query         -> Rows     request: Name, Parameters/Parameter[@name] (value as
//                             text, or null="true"), Offset, Limit, RequestId, Audit,
//                             OrderBy[@descending] (a read's result column; up to
//                             MAX_SORT_KEYS),
//                             Total (true/1: the rows counted)
//   ReadAudit     -> Rows     as ReadTable, of the audit trail (no Table)
//   and the account messages of accountmessages.h.
//
// Every reply has <Type>, <Error> and <Message>; a failure gives Type "Error",
// the code in Error and the reason in Message. Rows replies carry Columns/Column,
// Rows/Row/Field[@name] (null="true" for NULL, type="blob" length="bytes" for a
// BLOB), Offset, Limit, Count and More; ReadTable, and a Query asked for it, add Total. A query
// that writes gives Changes and LastInsertId instead, and Duplicate when its
// RequestId had been applied already. No reply passes MAX_REPLY_BYTES (the
// error ReplyTooLarge instead).
//
// With <Export>true</Export>, ReadTable and Query read every row from Offset, at
// most Limit (MAX_EXPORT_ROWS, also the default) with one statement, BLOBs as
// base64 text, and answer in parts (ExportParts) within the export's time limit
// (the error TimeLimit when it passes).
//
// Every other request's statements stop once the configuration's statement time limit has
// passed (the error TimeLimit).
//
// Table and column names are checked against the schema and only then quoted
// into SQL; a client's values are always bound; clients name queries of the
// configuration and never send SQL.
class MessageHandler final {
public:
    // config is nullptr when no configuration could be read and database is
    // nullptr when none is open; connectError then says why. An export that takes longer than
    // exportTimeLimitMs is stopped.
    MessageHandler(const Config* config, Database* database, QString connectError = {},
                   int exportTimeLimitMs = components::EXPORT_TIME_LIMIT_MS);

    // Serves one request: its reply, or an export's parts one after the other, go to sink.
    void handle(QByteArrayView request, ReplySink& sink) const;
    // Every reply to one request, in order.
    QList<QByteArray> replies(QByteArrayView request) const;
    // The reply to a request (the first part of an export's).
    QByteArray handle(QByteArrayView request) const { return replies(request).value(0); }

private:
    // Bounds the database's statements for a request (an export has a limit of its own).
    void limitStatements(bool exporting) const;
    int statementTimeLimitMs() const;
    QByteArray answer(const pugi::xml_node& request, const QString& kind) const;
    void exportRows(const pugi::xml_node& request, const QString& kind, ReplySink& sink) const;
    TableRead tableRead(const pugi::xml_node& request) const;
    // A read of the audit trail: as tableRead(), of the server's own table, the latest first
    // unless the request orders otherwise.
    TableRead auditRead(const pugi::xml_node& request) const;
    const NamedQuery& namedQuery(const pugi::xml_node& request) const;
    // The labels a ReadTable of table asks for (none without <Labels>true</Labels>).
    QList<LabelSource> labelSources(const pugi::xml_node& request, const QString& table) const;
    void ping(pugi::xml_node reply) const;
    void listTables(pugi::xml_node reply) const;
    void listQueries(pugi::xml_node reply) const;
    void describeTable(const pugi::xml_node& request, pugi::xml_node reply) const;
    void readTable(const pugi::xml_node& request, pugi::xml_node reply) const;
    void facets(const pugi::xml_node& request, pugi::xml_node reply) const;
    void readAudit(const pugi::xml_node& request, pugi::xml_node reply) const;
    void runQuery(const pugi::xml_node& request, pugi::xml_node reply) const;
    [[noreturn]] void failFromDatabase(const common::Error& e, const QString& prefix) const;
    Database& database() const;
    const Config& config() const;

    const Config* m_config = nullptr;
    Database* m_database = nullptr;
    QString m_connectError;
    int m_exportTimeLimitMs;
    mutable QDeadlineTimer m_ceiling; // of the request being served
};

// Serves request with handler; what escapes the handler (no memory for the reply, say) is
// answered with the error InvalidRequest, so that every request gets a reply.
void ServeRequest(const MessageHandler& handler, QByteArrayView request, ReplySink& sink);

// What a Pong tells about the database: "database <description>", or "no database: <why>".
QString DatabaseState(const Database* database, const QString& connectError);
// The whole Pong for that state, as MessageHandler answers a Ping.
QByteArray PongReply(const QString& databaseState);

} // namespace dbsvr
