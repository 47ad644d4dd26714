#include "tests/support/queuereader.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <optional>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace support {

namespace {
std::optional<TakenMessage> takeOne(const QString& folder, const QString& id) {
    const QStringList names =
        id.isEmpty() ? QDir(folder).entryList({"*.msg"}, QDir::Files) : QStringList{id + ".msg"};
    for (const QString& name : names) {
        QFile file(folder + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        TakenMessage taken{name.chopped(4), file.readAll()};
        file.close();
        if (file.remove())
            return taken;
    }
    return std::nullopt;
}
} // namespace

TakenMessage TakeQueueMessage(const QString& folder, const QString& id, int timeoutMs) {
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, QFile::encodeName(folder).constData(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const QDeadlineTimer deadline(timeoutMs);
    std::optional<TakenMessage> taken;
    while (!(taken = takeOne(folder, id)) && !deadline.hasExpired()) {
        pollfd ready{watch, POLLIN, 0};
        ::poll(&ready, 1, int(deadline.remainingTime()));
        char events[4096];
        while (::read(watch, events, sizeof events) > 0) {
        }
    }
    ::close(watch);
    return taken.value_or(TakenMessage{});
}

} // namespace support
