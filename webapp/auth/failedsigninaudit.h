#pragma once

#include "webapp/data/auditentry.h"

#include <QList>
#include <chrono>
#include <mutex>

namespace webapp {

class AccountStore;

// The audit trail's entries of failed sign-ins, written at most once every INTERVAL, several
// in one message. Every write to the database is a new data version, which makes the web
// application ask the data server again for every reply it kept: a flood of wrong passwords,
// written one by one, would take the pages' kept replies with it. A failure after a quiet
// INTERVAL is written at once; those that follow within it wait for the next request of any
// page after it (each keeps the time it happened). Beyond MAX_PENDING waiting, the rest are
// counted in one entry. Any thread may call; one lock.
class FailedSignInAudit final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds INTERVAL{1};
    static constexpr qsizetype MAX_PENDING = 1000;

    // Notes a failure; its time is now.
    void add(AuditEntry entry);
    // Writes what is due through accounts; what cannot be written now waits for the next try.
    // Raises as AccountStore does.
    void flush(const AccountStore& accounts);

private:
    QList<AuditEntry> takeDue(Clock::time_point now);
    void giveBack(QList<AuditEntry> entries, qsizetype uncounted);

    std::mutex m_lock; // everything below
    QList<AuditEntry> m_pending;
    qsizetype m_uncounted = 0; // failures past MAX_PENDING since the last write
    Clock::time_point m_lastWrite{};
};

} // namespace webapp
