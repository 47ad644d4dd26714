#include "dbsvr/pgschema.h"

#include "common/error.h"
#include "dbsvr/filtersql.h"
#include "dbsvr/pgconnection.h"
#include "dbsvr/pgstatementcache.h"
#include "dbsvr/pgvolatility.h"

namespace dbsvr {

namespace {

// The user's tables and views in the current schema, the server's own left out.
const QString RELATIONS =
    QStringLiteral("SELECT c.relname, CASE WHEN c.relkind IN ('v','m') THEN 'view' ELSE 'table' "
                   "END, c.relkind FROM pg_class c JOIN pg_namespace ns ON ns.oid = "
                   "c.relnamespace WHERE ns.nspname = current_schema() AND c.relkind IN "
                   "('r','p','f','v','m') AND left(c.relname, %1) <> '%2' ORDER BY c.relname")
        .arg(qstrlen(OWN_TABLE_PREFIX))
        .arg(QString::fromLatin1(OWN_TABLE_PREFIX));

// Every catalog row a description is read from, by its key and the transaction that wrote it.
const QString FINGERPRINT = QStringLiteral(
    "WITH rel AS (SELECT c.oid, c.xmin FROM pg_class c JOIN pg_namespace ns ON ns.oid = "
    "c.relnamespace WHERE ns.nspname = current_schema()) "
    "SELECT md5(string_agg(x, ',' ORDER BY x)) FROM ("
    "SELECT 'c' || oid || ':' || xmin FROM rel "
    "UNION ALL SELECT 'a' || a.attrelid || '.' || a.attnum || ':' || a.xmin FROM pg_attribute a "
    "WHERE a.attrelid IN (SELECT oid FROM rel) "
    "UNION ALL SELECT 'k' || k.oid || ':' || k.xmin FROM pg_constraint k "
    "WHERE k.conrelid IN (SELECT oid FROM rel) OR k.confrelid IN (SELECT oid FROM rel) "
    "UNION ALL SELECT 'i' || i.indexrelid || ':' || i.xmin FROM pg_index i "
    "WHERE i.indrelid IN (SELECT oid FROM rel) "
    "UNION ALL SELECT 'r' || r.oid || ':' || r.xmin FROM pg_rewrite r "
    "WHERE r.ev_class IN (SELECT oid FROM rel)) AS stamps(x)");

const QString COLUMNS =
    QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull, "
                   "coalesce((SELECT k.n FROM pg_index i CROSS JOIN LATERAL "
                   "unnest(i.indkey::int2[]) WITH ORDINALITY AS k(attnum, n) "
                   "WHERE i.indrelid = c.oid AND i.indisprimary AND k.attnum = a.attnum), 0), "
                   "pg_get_expr(d.adbin, d.adrelid), "
                   "CASE WHEN a.atttypid IN ('varchar'::regtype, 'bpchar'::regtype) AND "
                   "a.atttypmod > 4 THEN a.atttypmod - 4 END, "
                   "c.relkind IN ('r','p') AND (a.attidentity <> '' OR "
                   "coalesce(pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%') "
                   "FROM pg_class c JOIN pg_namespace ns ON ns.oid = c.relnamespace "
                   "JOIN pg_attribute a ON a.attrelid = c.oid "
                   "LEFT JOIN pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                   "WHERE ns.nspname = current_schema() AND c.relname = $1 AND a.attnum > 0 "
                   "AND NOT a.attisdropped ORDER BY a.attnum");

// "self" is the table described, "other" the one at the key's other end.
QString keysSql(bool referencing) {
    const QString self = referencing ? QStringLiteral("c") : QStringLiteral("p");
    const QString other = referencing ? QStringLiteral("p") : QStringLiteral("c");
    return QStringLiteral(
               "SELECT con.oid, %2.relname, fa.attname, ta.attname FROM pg_constraint con "
               "JOIN pg_class c ON c.oid = con.conrelid JOIN pg_class p ON p.oid = con.confrelid "
               "JOIN pg_namespace ns ON ns.oid = %1.relnamespace "
               "CROSS JOIN LATERAL unnest(con.conkey, con.confkey) WITH ORDINALITY AS k(f, t, n) "
               "JOIN pg_attribute fa ON fa.attrelid = con.conrelid AND fa.attnum = k.f "
               "JOIN pg_attribute ta ON ta.attrelid = con.confrelid AND ta.attnum = k.t "
               "WHERE con.contype = 'f' AND ns.nspname = current_schema() AND %1.relname = $1 "
               "ORDER BY %3con.oid, k.n")
        .arg(self, other, referencing ? QString() : QStringLiteral("c.relname, "));
}

} // namespace

PgSchema::PgSchema(PgConnection& connection, PgStatementCache& statements)
    : m_connection(connection), m_statements(statements), m_snapshot(connection) {}

void PgSchema::drop() {
    m_relations.reset();
    m_kinds.clear();
    m_columns.clear();
    m_keys[0].clear();
    m_keys[1].clear();
    m_volatile.clear();
}

QString PgSchema::fingerprint() {
    return m_statements.exec(FINGERPRINT).text(0, 0);
}

bool PgSchema::refresh() {
    const QString snapshot = m_snapshot.read();
    // Unread (a lost connection), it vouches for nothing: look at the catalogs.
    if (!snapshot.isEmpty() && snapshot == m_seenSnapshot)
        return false;
    const QString now = fingerprint();
    // Read before the fingerprint: a change committed between the two is looked for again.
    m_seenSnapshot = snapshot;
    if (now == m_fingerprint)
        return false;
    m_fingerprint = now;
    drop();
    return true;
}

const QList<TableSummary>& PgSchema::relations() {
    if (!m_relations) {
        const PgResult r = m_statements.exec(RELATIONS);
        QList<TableSummary> relations;
        for (int i = 0; i < r.rows(); ++i) {
            relations << TableSummary{r.text(i, 0), r.text(i, 1), {}};
            m_kinds.insert(r.text(i, 0), r.text(i, 2));
        }
        m_relations = relations;
    }
    return *m_relations;
}

QString PgSchema::type(const QString& name) {
    for (const TableSummary& relation : relations())
        if (relation.name == name)
            return relation.type;
    return {};
}

QList<ColumnDescription> PgSchema::columns(const QString& table) {
    auto it = m_columns.constFind(table);
    if (it == m_columns.constEnd())
        it = m_columns.insert(table, readColumns(table));
    return *it;
}

QList<ColumnDescription> PgSchema::readColumns(const QString& table) {
    const PgResult r = m_statements.exec(COLUMNS, {BoundValue(table)});
    QList<ColumnDescription> columns;
    for (int i = 0; i < r.rows(); ++i) {
        ColumnDescription column{r.text(i, 0),
                                 r.text(i, 1),
                                 r.text(i, 2) == QLatin1String("t"),
                                 int(r.integer(i, 3)),
                                 {},
                                 {},
                                 false};
        if (!r.isNull(i, 4))
            column.defaultValue = r.text(i, 4);
        if (!r.isNull(i, 5))
            column.length = int(r.integer(i, 5));
        column.autoIncrement = r.text(i, 6) == QLatin1String("t");
        columns << column;
    }
    return columns;
}

QList<KeyReference> PgSchema::keys(const QString& table, bool referencing) {
    QHash<QString, QList<KeyReference>>& kept = m_keys[referencing ? 1 : 0];
    auto it = kept.constFind(table);
    if (it == kept.constEnd())
        it = kept.insert(table, readKeys(table, referencing));
    return *it;
}

QList<KeyReference> PgSchema::readKeys(const QString& table, bool referencing) {
    const PgResult r = m_statements.exec(keysSql(referencing), {BoundValue(table)});
    QList<KeyReference> keys;
    QString lastKey;
    for (int i = 0; i < r.rows(); ++i) {
        if (keys.isEmpty() || r.text(i, 0) != lastKey)
            keys << KeyReference{r.text(i, 1), {}};
        lastKey = r.text(i, 0);
        // The referring table's column is "from" at both ends.
        keys.last().columns << ColumnMap{r.text(i, 2), r.text(i, 3)};
    }
    return keys;
}

bool PgSchema::isVolatile(const QString& name) {
    auto it = m_volatile.constFind(name);
    if (it == m_volatile.constEnd())
        it = m_volatile.insert(name, readVolatile(name));
    return *it;
}

bool PgSchema::readVolatile(const QString& name) {
    relations();
    const QString kind = m_kinds.value(name);
    if (kind == QLatin1String("f"))
        return true;
    if (kind != QLatin1String("v"))
        return false;
    const PgResult plan = m_connection.run(
        QStringLiteral("EXPLAIN (VERBOSE, FORMAT JSON) SELECT * FROM ") + QuoteIdentifier(name));
    // A plan cut short (a cancel, the ceiling) tells nothing, and is not kept.
    if (plan.inconclusive())
        throw common::Error(common::ERR_PROGRAM, plan.errorText());
    // A view over a table that has gone cannot be planned: it gives no rows to vary either.
    return plan.ok() && PlanIsVolatile(m_statements, plan.text(0, 0));
}

} // namespace dbsvr
