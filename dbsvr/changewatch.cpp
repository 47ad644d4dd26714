#include "dbsvr/changewatch.h"

#include "components/dataversion.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/dataversionsource.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace dbsvr {

namespace {
// Every way a file's content can change or a file can be replaced in its folder.
constexpr uint32_t CHANGE_EVENTS =
    IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
} // namespace

ChangeWatch::ChangeWatch(QString replyQueue) : m_replyQueue(std::move(replyQueue)) {
    m_serverPoll.setInterval(SERVER_POLL_MS);
    QObject::connect(&m_serverPoll, &QTimer::timeout, [this] { pollServer(); });
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        const std::lock_guard lock(m_mutex);
        refreshFile();
    });
}

ChangeWatch::~ChangeWatch() {
    {
        const std::lock_guard lock(m_mutex);
        stop();
    }
    m_notifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void ChangeWatch::stop() {
    if (m_watch >= 0)
        ::inotify_rm_watch(m_inotify, m_watch);
    m_watch = -1;
    m_filePath.clear();
    m_fileName.clear();
    m_server.reset();
    m_serverText.clear();
    m_serverAsked.invalidate();
    m_unwritten = false;
    components::WithdrawDataVersion(m_replyQueue);
}

void ChangeWatch::watch(const QString& dataFile) {
    // A link is followed: the changes happen where the data really is.
    const QFileInfo file(dataFile.isEmpty() ? QString() : QFileInfo(dataFile).canonicalFilePath());
    const std::lock_guard lock(m_mutex);
    if (m_watch >= 0 && file.filePath() == m_filePath)
        return;
    stop();
    if (file.filePath().isEmpty())
        return;
    m_watch = m_inotify < 0
                  ? -1
                  : ::inotify_add_watch(m_inotify, QFile::encodeName(file.path()).constData(),
                                        CHANGE_EVENTS | IN_ONLYDIR);
    if (m_watch < 0) {
        ReportFault(QStringLiteral("changes to ") + file.filePath() +
                    QStringLiteral(" cannot be watched; replies will not be reused"));
        return;
    }
    m_filePath = file.filePath();
    m_fileName = file.fileName();
    newPrefix();
    publish();
}

bool ChangeWatch::wantsServer(int retryMs) {
    const std::lock_guard lock(m_mutex);
    if (m_server || (m_serverAsked.isValid() && !m_serverAsked.hasExpired(retryMs)))
        return false;
    m_serverAsked.start();
    return true;
}

void ChangeWatch::watchServer(std::unique_ptr<DataVersionSource> server) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_server)
            return;
        stop();
        // Asked for again only after a while: making one may fail the same way at once.
        m_serverAsked.start();
        if (!server)
            return;
        m_server = std::move(server);
        newPrefix();
        refreshServer();
        if (!m_server)
            return;
    }
    // The timer is the event loop's: started there, also when a worker made the source.
    QMetaObject::invokeMethod(&m_serverPoll, [this] { m_serverPoll.start(); });
}

bool ChangeWatch::concerns(const char* name) const {
    const QString n = QFile::decodeName(name);
    return n == m_fileName || n == m_fileName + QLatin1String("-wal") ||
           n == m_fileName + QLatin1String("-journal");
}

void ChangeWatch::refresh() {
    const std::lock_guard lock(m_mutex);
    refreshFile();
    refreshServer();
}

void ChangeWatch::pollServer() {
    bool reading = false;
    {
        const std::lock_guard lock(m_mutex);
        refreshServer();
        reading = m_server != nullptr;
    }
    // Started again by the next watchServer(), which comes after this on the same thread.
    if (!reading)
        m_serverPoll.stop();
}

void ChangeWatch::refreshServer() {
    if (!m_server)
        return;
    const QString text = m_server->read();
    if (text.isEmpty()) {
        ReportFault(QStringLiteral("the data version cannot be read from the database server; "
                                   "replies will not be reused"));
        stop();
        m_serverAsked.start();
        return;
    }
    if (text == m_serverText && !m_unwritten)
        return;
    m_serverText = text;
    publish();
}

ChangeWatch::Events ChangeWatch::readEvents() {
    Events events;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event)) + event->len;
            // A lost event may hide a change: assume one.
            if (event->mask & IN_Q_OVERFLOW) {
                events.changed = true;
                continue;
            }
            // What a watch given up before says is no news.
            if (m_watch < 0 || event->wd != m_watch)
                continue;
            if (event->mask & IN_IGNORED)
                events.folderGone = true;
            events.changed = events.changed || (event->len > 0 && concerns(event->name));
        }
    }
    return events;
}

void ChangeWatch::refreshFile() {
    if (m_inotify < 0)
        return;
    const Events events = readEvents();
    if (events.folderGone) {
        // The folder went away: nothing can be vouched for any more.
        stop();
        return;
    }
    if ((events.changed || m_unwritten) && m_watch >= 0)
        publish();
}

void ChangeWatch::settle() {
    const std::lock_guard lock(m_mutex);
    if (m_inotify >= 0 && readEvents().folderGone)
        stop();
}

void ChangeWatch::newPrefix() {
    m_prefix = QString::number(QRandomGenerator::system()->generate64(), 16);
}

void ChangeWatch::publish() {
    ++m_counter;
    const bool written = components::PublishDataVersion(
        m_replyQueue, m_prefix + QLatin1Char(':') + QString::number(m_counter));
    // Said once, not at every refresh that tries again.
    if (!written && !m_unwritten)
        ReportFault(QStringLiteral("the data version cannot be written into ") + m_replyQueue);
    m_unwritten = !written;
}

} // namespace dbsvr
