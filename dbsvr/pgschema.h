#pragma once

#include "dbsvr/database.h"
#include "dbsvr/pgsnapshot.h"

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace dbsvr {

class PgConnection;
class PgStatementCache;

// What the catalogs say about the tables and views of the connection's current schema (the
// first of its search_path), read once and kept until the schema changes. A change is seen
// cheaply and with no rights beyond reading the catalogs, which every user has: the server's
// snapshot (PgSnapshot) moves with every commit that changed anything; only then are the
// catalog rows of the schema's relations, columns, constraints, indexes and view rules
// compared by their transaction stamps (xmin), which CREATE, ALTER, DROP and RENAME give anew.
// Failures raise common::Error with the server's text.
class PgSchema final {
public:
    PgSchema(PgConnection& connection, PgStatementCache& statements);

    // Looks for a change since the last call; true when there was one, and then nothing read
    // before is kept.
    bool refresh();

    // The user's tables and views in name order, without row counts; the server's own left out.
    const QList<TableSummary>& relations();
    // "table" or "view" for a user table or view of exactly this name, "" otherwise.
    QString type(const QString& name);
    QList<ColumnDescription> columns(const QString& table);
    // The foreign keys of the table (referencing) or those that refer to it.
    QList<KeyReference> keys(const QString& table, bool referencing);
    // True when reading the relation may give other rows without any change to the data: a
    // view whose plan is volatile (see PlanIsVolatile), a foreign table. Raises when the plan
    // was cut short.
    bool isVolatile(const QString& name);

private:
    void drop();
    QString fingerprint();
    QList<ColumnDescription> readColumns(const QString& table);
    QList<KeyReference> readKeys(const QString& table, bool referencing);
    bool readVolatile(const QString& name);

    PgConnection& m_connection;
    PgStatementCache& m_statements;
    PgSnapshot m_snapshot;
    QString m_seenSnapshot;
    QString m_fingerprint;
    std::optional<QList<TableSummary>> m_relations;
    QHash<QString, QString> m_kinds; // relation name → pg_class.relkind
    QHash<QString, QList<ColumnDescription>> m_columns;
    QHash<QString, QList<KeyReference>> m_keys[2]; // [referencing]
    QHash<QString, bool> m_volatile;
};

} // namespace dbsvr
