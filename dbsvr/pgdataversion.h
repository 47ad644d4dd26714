#pragma once

#include "dbsvr/dataversionsource.h"
#include "dbsvr/pgconnection.h"
#include "dbsvr/pgsnapshot.h"

namespace dbsvr {

// The data version of a database on a PostgreSQL server: its snapshot (PgSnapshot), which
// every commit that changed anything moves, whichever client made it. Read on a connection of
// its own, so that it can be asked while the database's connection is busy.
class PgDataVersion final : public DataVersionSource {
public:
    // Connects; raises common::Error as PgConnection does.
    explicit PgDataVersion(const QString& connectionString);

    QString read() override;

private:
    PgConnection m_connection;
    PgSnapshot m_snapshot{m_connection};
};

} // namespace dbsvr
