#include "dbsvr/queueservice.h"

#include "common/errnotext.h"
#include "common/error.h"
#include "common/files.h"
#include "components/queue.h"
#include "components/replyparts.h"
#include "dbsvr/dataserverlog.h"
#include "dbsvr/replysink.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requesterror.h"
#include "dbsvr/takenwait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <sys/inotify.h>
#include <unistd.h>

namespace dbsvr {

namespace {
constexpr int RESCAN_INTERVAL_MS = 2000;
const QString SUFFIX = QLatin1String(components::MESSAGE_SUFFIX);
const QString TAKEN = QLatin1String(components::TAKEN_FOLDER);

bool isMessage(const QString& name) {
    return name.endsWith(SUFFIX) && name.size() > SUFFIX.size() &&
           !name.startsWith(QLatin1Char('.'));
}

// Writes the replies to one message into the out-queue: the n-th as PartId(id, n). The message
// taken stays until then: a job dropped unanswered (the data server stopping) leaves it to be
// served again.
class QueueReplies final : public ReplySink {
public:
    QueueReplies(QString outQueue, QString id, QString takenFile)
        : m_outQueue(std::move(outQueue)), m_id(std::move(id)), m_takenFile(std::move(takenFile)),
          m_taken(m_outQueue) {}
    ~QueueReplies() override {
        if (m_sent > 0 || m_finished)
            QFile::remove(m_takenFile);
    }
    QueueReplies(const QueueReplies&) = delete;
    QueueReplies& operator=(const QueueReplies&) = delete;

    void send(const QByteArray& reply) override {
        ++m_sent;
        try {
            components::SendMessage(m_outQueue, components::PartId(m_id, m_sent), reply);
        } catch (const common::Error& e) {
            ReportFault(QStringLiteral("unable to reply: ") + QString::fromUtf8(e.what()));
        }
    }
    bool sendPart(const QByteArray& part, const QDeadlineTimer& deadline) override {
        if (m_sent >= 2 && !m_taken.wait(components::PartId(m_id, m_sent - 1) + SUFFIX, deadline))
            return false;
        send(part);
        return true;
    }
    void finishWithoutReply() override { m_finished = true; }

private:
    QString m_outQueue;
    QString m_id;
    QString m_takenFile; // the message, in the in-queue's "taken" folder
    TakenWait m_taken;   // the out-queue's parts, as the reader takes them
    int m_sent = 0;
    bool m_finished = false;
};

[[noreturn]] void systemError(const QString& what, int err) {
    throw common::Error(err, what + QStringLiteral(". ") + common::ErrnoText(err));
}

} // namespace

QByteArray QueueService::TooLargeReply() {
    return ErrorReply(
        QString::fromLatin1(ERROR_INVALID_REQUEST),
        QStringLiteral("The request is larger than %1 bytes.").arg(MAX_REQUEST_BYTES));
}

QueueService::QueueService(QString inQueue, QString outQueue, Handler handler, QObject* parent)
    : QObject(parent), m_inQueue(std::move(inQueue)), m_outQueue(std::move(outQueue)),
      m_handler(std::move(handler)) {
    m_rescan.setInterval(RESCAN_INTERVAL_MS);
    connect(&m_rescan, &QTimer::timeout, this, &QueueService::rescan);
}

QueueService::~QueueService() {
    m_notifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void QueueService::CreateFolders(const QString& inQueue, const QString& outQueue) {
    common::MkDirRecurse(inQueue + QLatin1Char('/') + TAKEN, components::QUEUE_FOLDER_MODE);
    common::MkDirRecurse(outQueue + QLatin1Char('/') + QLatin1String(components::PARTIAL_FOLDER),
                         components::QUEUE_FOLDER_MODE);
}

void QueueService::start() {
    CreateFolders(m_inQueue, m_outQueue);
    restoreTaken();
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0)
        systemError(QStringLiteral("Unable to watch the queue ") + m_inQueue, errno);
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &QueueService::onEvents);
    watch();
    if (m_watch < 0)
        systemError(QStringLiteral("Unable to watch the queue ") + m_inQueue, errno);
    // After the watch, so that a message landing in between is seen at least once.
    scan();
    m_rescan.start();
}

void QueueService::restoreTaken() {
    // A rename keeps the file's time: the messages are served again in the order they came.
    const QDir taken(m_inQueue + QLatin1Char('/') + TAKEN);
    for (const QString& name : taken.entryList({QStringLiteral("*") + SUFFIX}, QDir::Files)) {
        if (::rename(QFile::encodeName(taken.filePath(name)).constData(),
                     QFile::encodeName(m_inQueue + QLatin1Char('/') + name).constData()) != 0)
            ReportFault(QStringLiteral("unable to serve again %1: %2")
                            .arg(taken.filePath(name), common::ErrnoText(errno)));
    }
}

void QueueService::watch() {
    m_watch = ::inotify_add_watch(m_inotify, QFile::encodeName(m_inQueue).constData(),
                                  IN_MOVED_TO | IN_CLOSE_WRITE | IN_ONLYDIR);
}

void QueueService::onEvents() {
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
                scan();
            else if (event->mask & IN_IGNORED)
                m_watch = -1; // the folder went away; rescan() watches it again when it is back
            else if (event->len > 0)
                serve(QFile::decodeName(event->name));
        }
    }
}

void QueueService::rescan() {
    if (m_watch < 0) {
        if (!QFileInfo::exists(m_inQueue))
            return;
        watch();
    }
    scan();
}

void QueueService::scan() {
    const QStringList names = QDir(m_inQueue).entryList({QStringLiteral("*") + SUFFIX}, QDir::Files,
                                                        QDir::Time | QDir::Reversed);
    for (const QString& name : names)
        serve(name);
}

void QueueService::serve(const QString& fileName) {
    if (!isMessage(fileName))
        return;
    // Kept aside until answered. The rename fails when it is gone already: served through
    // another event, or cleared by the sender.
    const QString takenFile = m_inQueue + QLatin1Char('/') + TAKEN + QLatin1Char('/') + fileName;
    if (::rename(QFile::encodeName(m_inQueue + QLatin1Char('/') + fileName).constData(),
                 QFile::encodeName(takenFile).constData()) != 0)
        return;
    QFile file(takenFile);
    if (!file.open(QIODevice::ReadOnly)) {
        // Never readable: served again it would fail again.
        file.remove();
        return;
    }
    const bool tooBig = file.size() > MAX_REQUEST_BYTES;
    const QByteArray request = tooBig ? QByteArray() : file.readAll();
    file.close();
    // The reply goes out as a message of the same id, the way the sender's Poll expects it.
    const QString id = fileName.chopped(SUFFIX.size());
    auto replies = std::make_unique<QueueReplies>(m_outQueue, id, takenFile);
    if (tooBig)
        replies->send(TooLargeReply());
    else
        m_handler(id, request, std::move(replies));
    ++m_served;
}

} // namespace dbsvr
