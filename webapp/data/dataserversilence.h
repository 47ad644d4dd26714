#pragma once

#include <QDateTime>
#include <mutex>

namespace webapp {

// Whether the data server has gone silent: a wait for one of its replies ran out, and it
// has not been heard from since. While it is silent, pages give the "try again" page at once
// instead of each waiting the whole time in turn. It is heard from again when a reply comes,
// or when its alive signal is newer than the wait that ran out. Any thread may call.
class DataServerSilence final {
public:
    // A wait for a reply ran out now.
    void waitRanOut();
    // A reply came.
    void heard();
    // Since when it has been silent, given its last alive signal as the web server saw it;
    // invalid when it is not.
    QDateTime silentSince(const QDateTime& lastAlive);
    void clear() { heard(); }

private:
    std::mutex m_lock;
    QDateTime m_since; // invalid: not silent
};

} // namespace webapp
