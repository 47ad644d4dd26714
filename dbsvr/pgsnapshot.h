#pragma once

#include <QDeadlineTimer>
#include <QString>

namespace dbsvr {

class PgConnection;

// The server's own account of which transactions have ended, as its current snapshot gives it
// ("xmin:xmax:running..."). Every commit or rollback of a transaction that changed anything,
// by any client of the server (DDL too), changes it; reads leave it alone. Two equal texts see
// the same committed data, so it can vouch for replies made from that data, and for the
// descriptions of tables.
class PgSnapshot final {
public:
    // How long a read may take before it counts as failed.
    static constexpr int READ_TIMEOUT_MS = 2000;

    // Asks the server which function gives the snapshot (it was renamed in version 13).
    // Raises common::Error when that cannot be asked.
    explicit PgSnapshot(PgConnection& connection);

    // The current snapshot's text; "" when it cannot be read in time.
    QString read(const QDeadlineTimer& deadline = QDeadlineTimer(READ_TIMEOUT_MS));

private:
    PgConnection& m_connection;
    QString m_sql;
};

} // namespace dbsvr
