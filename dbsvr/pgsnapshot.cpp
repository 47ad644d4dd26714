#include "dbsvr/pgsnapshot.h"

#include "dbsvr/pgconnection.h"

namespace dbsvr {

namespace {
constexpr int FIRST_WITH_PG_SNAPSHOT = 130000;
} // namespace

PgSnapshot::PgSnapshot(PgConnection& connection)
    : m_connection(connection),
      m_sql(m_connection.exec(QStringLiteral("SHOW server_version_num")).integer(0, 0) >=
                    FIRST_WITH_PG_SNAPSHOT
                ? QStringLiteral("SELECT pg_current_snapshot()::text")
                : QStringLiteral("SELECT txid_current_snapshot()::text")) {}

QString PgSnapshot::read(const QDeadlineTimer& deadline) {
    QString text;
    const PgResult end = m_connection.stream(
        m_sql, {},
        [&](const PgResult& row) {
            text = row.text(0, 0);
            return true;
        },
        deadline);
    return end.ok() ? text : QString();
}

} // namespace dbsvr
