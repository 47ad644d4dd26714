#include "dbsvr/takenwait.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace dbsvr {

TakenWait::~TakenWait() {
    if (m_inotify >= 0)
        ::close(m_inotify);
}

bool TakenWait::wait(const QString& fileName, const QDeadlineTimer& deadline) {
    const QString path = m_folder + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(path))
        return true;
    // Watched once, then for as long as this lives: a removal after the look below still wakes.
    if (m_inotify < 0) {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify >= 0 &&
            ::inotify_add_watch(m_inotify, QFile::encodeName(m_folder).constData(),
                                IN_DELETE | IN_MOVED_FROM | IN_ONLYDIR) < 0) {
            ::close(m_inotify);
            m_inotify = -1;
        }
    }
    if (m_inotify < 0)
        return !QFileInfo::exists(path);
    for (;;) {
        alignas(inotify_event) char events[4096];
        while (::read(m_inotify, events, sizeof events) > 0) {
        }
        if (!QFileInfo::exists(path))
            return true;
        if (deadline.hasExpired())
            return false;
        pollfd ready{m_inotify, POLLIN, 0};
        ::poll(&ready, 1,
               deadline.isForever()
                   ? -1
                   : int(std::clamp<qint64>(deadline.remainingTime(), 0, INT_MAX)));
    }
}

} // namespace dbsvr
