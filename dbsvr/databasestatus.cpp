#include "dbsvr/databasestatus.h"

#include "dbsvr/database.h"
#include "dbsvr/messagehandler.h"
#include "diagnostics/trace.h"

namespace dbsvr {

void DatabaseStatus::opened(const Database& database, const QString& name) {
    const QString state = DatabaseState(&database, {});
    const std::lock_guard lock(m_mutex);
    if (state == m_state)
        return;
    m_state = state;
    m_error.clear();
    diagnostics::WriteTrace(QStringLiteral("Database opened: ") + name);
}

void DatabaseStatus::failed(const QString& why) {
    const std::lock_guard lock(m_mutex);
    m_state = DatabaseState(nullptr, why);
    // Said once, not at each retry of the requests that follow.
    if (why == m_error)
        return;
    m_error = why;
    diagnostics::WriteTrace(QStringLiteral("Unable to connect to the database: ") + why,
                            diagnostics::Severity::Warning);
}

void DatabaseStatus::lost(const QString& why) {
    ++m_losses;
    failed(why);
}

QString DatabaseStatus::state() const {
    const std::lock_guard lock(m_mutex);
    return m_state;
}

} // namespace dbsvr
