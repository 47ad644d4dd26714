#include "dbsvr/pgdataversion.h"

namespace dbsvr {

PgDataVersion::PgDataVersion(const QString& connectionString) : m_connection(connectionString) {}

QString PgDataVersion::read() {
    return m_connection.lost() ? QString() : m_snapshot.read();
}

} // namespace dbsvr
