#include "webapp/auth/failedsigninaudit.h"

#include "webapp/data/accountstore.h"

#include <QDateTime>

namespace webapp {

void FailedSignInAudit::add(AuditEntry entry) {
    entry.at = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const std::lock_guard lock(m_lock);
    if (m_pending.size() >= MAX_PENDING)
        ++m_uncounted;
    else
        m_pending.append(std::move(entry));
}

QList<AuditEntry> FailedSignInAudit::takeDue(Clock::time_point now) {
    const std::lock_guard lock(m_lock);
    if (m_pending.isEmpty() || now - m_lastWrite < INTERVAL)
        return {};
    m_lastWrite = now;
    QList<AuditEntry> due = std::exchange(m_pending, {});
    if (m_uncounted > 0) {
        AuditEntry more = due.last();
        more.user.clear();
        more.address.clear();
        more.detail = QStringLiteral("%1 more failed sign-ins, not recorded one by one")
                          .arg(std::exchange(m_uncounted, 0));
        due.append(more);
    }
    return due;
}

void FailedSignInAudit::giveBack(QList<AuditEntry> entries, qsizetype uncounted) {
    const std::lock_guard lock(m_lock);
    entries.append(m_pending);
    m_pending = std::move(entries);
    m_uncounted += uncounted;
    m_lastWrite = {};
}

void FailedSignInAudit::flush(const AccountStore& accounts) {
    QList<AuditEntry> due = takeDue(Clock::now());
    if (due.isEmpty())
        return;
    try {
        accounts.addAudit(due);
    } catch (...) {
        giveBack(std::move(due), 0);
        throw;
    }
}

} // namespace webapp
