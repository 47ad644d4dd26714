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
    QObject::connect(&m_serverPoll, &QTimer::timeout, [this] { refreshServer(); });
}

ChangeWatch::~ChangeWatch() {
    stop();
}

void ChangeWatch::stop() {
    m_notifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
    m_fileName.clear();
    m_serverPoll.stop();
    m_server.reset();
    m_serverText.clear();
    components::WithdrawDataVersion(m_replyQueue);
}

void ChangeWatch::watch(const QString& dataFile, std::unique_ptr<DataVersionSource> server) {
    stop();
    // A fresh random text per watch, so that no version of another watch or run matches.
    m_prefix = QString::number(QRandomGenerator::system()->generate64(), 16);
    if (server)
        watchServer(std::move(server));
    else if (!dataFile.isEmpty())
        watchFile(dataFile);
}

void ChangeWatch::watchServer(std::unique_ptr<DataVersionSource> server) {
    m_serverLost = false;
    m_server = std::move(server);
    m_serverPoll.start();
    refreshServer();
}

void ChangeWatch::watchFile(const QString& dataFile) {
    // A link is followed: the changes happen where the data really is.
    const QFileInfo file(QFileInfo(dataFile).canonicalFilePath());
    if (file.filePath().isEmpty())
        return;
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0 || ::inotify_add_watch(m_inotify, QFile::encodeName(file.path()).constData(),
                                             CHANGE_EVENTS | IN_ONLYDIR) < 0) {
        ReportFault(QStringLiteral("changes to ") + file.filePath() +
                    QStringLiteral(" cannot be watched; replies will not be reused"));
        stop();
        return;
    }
    m_fileName = file.fileName();
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { refreshFile(); });
    publish();
}

bool ChangeWatch::concerns(const char* name) const {
    const QString n = QFile::decodeName(name);
    return n == m_fileName || n == m_fileName + QLatin1String("-wal") ||
           n == m_fileName + QLatin1String("-journal");
}

void ChangeWatch::refresh() {
    if (m_server)
        refreshServer();
    else
        refreshFile();
}

void ChangeWatch::refreshServer() {
    if (!m_server)
        return;
    const QString text = m_server->read();
    if (text.isEmpty()) {
        ReportFault(QStringLiteral("the data version cannot be read from the database server; "
                                   "replies will not be reused"));
        stop();
        m_serverLost = true;
        return;
    }
    if (text == m_serverText)
        return;
    m_serverText = text;
    publish();
}

void ChangeWatch::refreshFile() {
    if (m_inotify < 0)
        return;
    alignas(inotify_event) char buffer[4096];
    bool changed = false;
    ssize_t n;
    while ((n = ::read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event)) + event->len;
            if (event->mask & IN_IGNORED) {
                // The folder went away: nothing can be vouched for any more.
                stop();
                return;
            }
            // A lost event may hide a change: assume one.
            changed = changed || (event->mask & IN_Q_OVERFLOW) ||
                      (event->len > 0 && concerns(event->name));
        }
    }
    if (changed)
        publish();
}

void ChangeWatch::publish() {
    ++m_counter;
    if (!components::PublishDataVersion(m_replyQueue,
                                        m_prefix + QLatin1Char(':') + QString::number(m_counter)))
        ReportFault(QStringLiteral("the data version cannot be written into ") + m_replyQueue);
}

} // namespace dbsvr
