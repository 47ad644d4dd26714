#pragma once

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <mutex>

namespace webapp {

// Removes replies of the data server that nobody will read: a wait that ran out leaves its
// reply to come later into the in-queue. A queue where one may be is looked through on every
// request until it holds none any more; the others only now and then (for the web server's
// own pings), as a listing per request would cost more than the request. Any thread may call.
class ReplySweep final {
public:
    // How often an in-queue is looked through when no wait has run out.
    static constexpr int INTERVAL_MS = 60000;
    // How old a reply must be to count as one nobody reads.
    static constexpr int STALE_AFTER_SECONDS = 60;

    // A wait for a reply in inQueue ran out.
    void expectLate(const QString& inQueue);
    // Removes the stale replies of inQueue when it is time to look.
    void run(const QString& inQueue);
    void clear();

private:
    bool due(const QString& inQueue);

    std::mutex m_lock;        // the members below
    QSet<QString> m_expected; // in-queues where a late reply may be
    QElapsedTimer m_lastRun;
};

} // namespace webapp
