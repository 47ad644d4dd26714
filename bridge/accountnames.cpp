#include "bridge/accountnames.h"

#include "common/files.h"

namespace bridge {

QString AccountNames::nameOf(uid_t uid) {
    const auto now = std::chrono::steady_clock::now();
    {
        const std::lock_guard guard(m_lock);
        const auto kept = m_kept.find(uid);
        if (kept != m_kept.end() && now < kept->second.until)
            return kept->second.name;
    }
    // Looked up outside the lock: an account database on the network may take its time.
    const QString name = common::AccountName(uid);
    const std::lock_guard guard(m_lock);
    if (m_kept.size() >= MAX_KEPT)
        m_kept.clear();
    m_kept[uid] = {name, now + KEPT};
    return name;
}

} // namespace bridge
