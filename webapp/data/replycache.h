#pragma once

#include "webapp/data/dataclient.h"

#include <QHash>
#include <QString>
#include <mutex>
#include <optional>

namespace webapp {

// The data server's replies to reading requests, kept to answer the same request again
// without a round trip for as long as the data version they were asked under is the current
// one (components/dataversion.h). One per run, kept by the web application's service: the
// component itself is new for every request. Bounded by the memory replies hold once parsed
// (DataReply::bytes(), many times their text for short ones): a reply that holds over
// MAX_ENTRY_BYTES is never kept, and the whole cache is dropped when it would grow over
// MAX_BYTES. Any thread may call: the pages running at once share it, under its lock.
class ReplyCache final {
public:
    static constexpr qsizetype MAX_BYTES = 16 * 1024 * 1024;
    static constexpr qsizetype MAX_ENTRY_BYTES = 1024 * 1024;

    // The reply kept for request under version; nullopt when none is.
    std::optional<DataReply> find(const QString& version, const QString& request);
    // Keeps reply for request under version, forgetting everything kept under another one.
    void store(const QString& version, const QString& request, const DataReply& reply);
    void clear();

private:
    void clearKept();

    std::mutex m_lock; // the members below

    QString m_version;
    QHash<QString, DataReply> m_replies;
    qsizetype m_bytes = 0;
};

} // namespace webapp
