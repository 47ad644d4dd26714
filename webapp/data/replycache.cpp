#include "webapp/data/replycache.h"

namespace webapp {

std::optional<DataReply> ReplyCache::find(const QString& version, const QString& request) {
    const std::lock_guard lock(m_lock);
    if (version != m_version)
        return std::nullopt;
    const auto at = m_replies.constFind(request);
    return at == m_replies.constEnd() ? std::nullopt : std::optional<DataReply>(*at);
}

void ReplyCache::store(const QString& version, const QString& request, const DataReply& reply) {
    const std::lock_guard lock(m_lock);
    if (version != m_version) {
        clearKept();
        m_version = version;
    }
    const qsizetype bytes = reply.bytes() + request.size() * qsizetype(sizeof(QChar));
    if (bytes > MAX_ENTRY_BYTES)
        return;
    if (m_bytes + bytes > MAX_BYTES)
        clearKept();
    m_replies.insert(request, reply);
    m_bytes += bytes;
}

void ReplyCache::clear() {
    const std::lock_guard lock(m_lock);
    clearKept();
    m_version.clear();
}

void ReplyCache::clearKept() {
    m_replies.clear();
    m_bytes = 0;
}

} // namespace webapp
