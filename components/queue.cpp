#include "components/queue.h"

#include "components/landingwatch.h"

#include "common/errnotext.h"
#include "common/error.h"
#include "common/guid.h"
#include "common/objectfactory.h"
#include "components/dataversion.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace components {

const QString Queue::CLASS_NAME = QStringLiteral("Halvik.Queue");

namespace {

const QString SUFFIX = QLatin1String(MESSAGE_SUFFIX);
const QString TMP = QLatin1String(PARTIAL_FOLDER);
constexpr int ERR_INVALID_ARGUMENT = 5;
constexpr int MAX_ID_LENGTH = 200; // leaves room for the suffix within a file name

[[noreturn]] void raise(int code, const QString& what, const QString& where) {
    throw common::Error(
        code, what + QStringLiteral(" (") + where + QStringLiteral("). ") + common::ErrnoText(code),
        Queue::CLASS_NAME);
}

// An id becomes a file name: it must not reach outside the queue folder.
void checkId(const QString& id) {
    if (id.isEmpty() || id.size() > MAX_ID_LENGTH || id.contains(QLatin1Char('/')) ||
        id.contains(QChar(0)) || id == QLatin1String(".") || id == QLatin1String(".."))
        throw common::Error(ERR_INVALID_ARGUMENT,
                            QStringLiteral("Invalid message id \"") + id + QStringLiteral("\""),
                            Queue::CLASS_NAME);
}

// An unset folder would otherwise mean the current folder or the root.
void checkFolder(const QString& folder) {
    if (folder.isEmpty())
        throw common::Error(ERR_INVALID_ARGUMENT, QStringLiteral("The queue folder is not set"),
                            Queue::CLASS_NAME);
}

QByteArray nativePath(const QString& folder, const QString& name) {
    return QFile::encodeName(folder + QLatin1Char('/') + name);
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Writes the message beside the queue and renames it in: readers see all of it or nothing.
void writeMessage(const QString& folder, const QString& id, const QByteArray& body) {
    const QByteArray tmpFolder = nativePath(folder, TMP);
    if (::mkdir(tmpFolder.constData(), QUEUE_FOLDER_MODE) != 0 && errno != EEXIST)
        raise(errno, QStringLiteral("Error sending queue message"), folder);
    const QByteArray partial = nativePath(folder, TMP + QLatin1Char('/') + id + SUFFIX);
    const int fd =
        ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, QUEUE_FILE_MODE);
    if (fd < 0)
        raise(errno, QStringLiteral("Error sending queue message"), folder);
    const bool written = writeAll(fd, body);
    int code = written ? 0 : errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 &&
        ::rename(partial.constData(), nativePath(folder, id + SUFFIX).constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(partial.constData());
        raise(code, QStringLiteral("Error sending queue message"), folder);
    }
}

// Ids of the messages in the folder, oldest first.
QStringList messagesOldestFirst(const QString& folder) {
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QStringLiteral("*") + SUFFIX}, QDir::Files, QDir::Time | QDir::Reversed);
    QStringList ids;
    for (const QFileInfo& file : files)
        ids.append(file.completeBaseName());
    return ids;
}

[[noreturn]] void raiseTooLarge(const QByteArray& path, qint64 maxBytes) {
    // Never read: it would take that much memory, and it would come again at the next Poll.
    ::unlink(path.constData());
    throw common::Error(EFBIG,
                        QStringLiteral("The queue message %1 is larger than %2 bytes; it was "
                                       "removed unread.")
                            .arg(QFile::decodeName(path))
                            .arg(maxBytes),
                        Queue::CLASS_NAME);
}

// Reads and removes a message; false when it is not there (or another reader took it first).
bool takeMessage(const QString& folder, const QString& id, qint64 maxBytes, QString& package) {
    const QByteArray path = nativePath(folder, id + SUFFIX);
    // The open's own error tells "not there yet" from a real failure; asking
    // again afterwards would race with a reply landing in between.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        raise(errno, QStringLiteral("Error reading queue message"), QFile::decodeName(path));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        raise(EIO, QStringLiteral("Error reading queue message"), QFile::decodeName(path));
    }
    if (maxBytes > 0 && file.size() > maxBytes)
        raiseTooLarge(path, maxBytes);
    const QByteArray body = file.readAll();
    file.close();
    // Only the reader whose unlink succeeds owns the message.
    if (::unlink(path.constData()) != 0) {
        if (errno == ENOENT)
            return false;
        raise(errno, QStringLiteral("Error removing queue message"), QFile::decodeName(path));
    }
    package = QString::fromUtf8(body);
    return true;
}

// Tries once: the id of the message taken, or "".
QString tryTake(const QString& folder, const QString& id, qint64 maxBytes, QString& package) {
    const QStringList candidates = id.isEmpty() ? messagesOldestFirst(folder) : QStringList{id};
    for (const QString& candidate : candidates) {
        if (takeMessage(folder, candidate, maxBytes, package))
            return candidate;
    }
    return {};
}

} // namespace

void SendMessage(const QString& folder, const QString& id, const QByteArray& body) {
    checkFolder(folder);
    checkId(id);
    writeMessage(folder, id, body);
}

QString Queue::send(const QString& id) {
    const QString messageId = id.isEmpty() ? common::NewGuidString() : id;
    SendMessage(folder, messageId, package.toUtf8());
    return messageId;
}

QString Queue::Poll(const QString& id, int timeoutMs) {
    checkFolder(folder);
    if (!id.isEmpty())
        checkId(id);
    // Watch first, then look: a message landing in between still wakes the wait.
    LandingWait landing(folder, id.isEmpty() ? QString() : id + SUFFIX);
    const QDeadlineTimer deadline(qMax(timeoutMs, 0));
    for (bool last = false;; last = last || !landing.wait(deadline)) {
        const QString taken = tryTake(folder, id, maxBytes, package);
        // One more look once the time is up: a message that landed just then counts.
        if (!taken.isEmpty() || last || deadline.hasExpired())
            return taken;
    }
}

void Queue::Clear() {
    checkFolder(folder);
    WithdrawDataVersion(folder);
    for (const QString& dir : {folder, folder + QLatin1Char('/') + TMP,
                               folder + QLatin1Char('/') + QLatin1String(TAKEN_FOLDER)}) {
        const QStringList names =
            QDir(dir).entryList({QStringLiteral("*") + SUFFIX}, QDir::Files | QDir::Hidden);
        for (const QString& name : names) {
            const QByteArray path = nativePath(dir, name);
            if (::unlink(path.constData()) != 0 && errno != ENOENT)
                raise(errno, QStringLiteral("Error clearing queue"), dir);
        }
    }
}

std::shared_ptr<Queue> NewQueue() {
    auto queue = std::dynamic_pointer_cast<Queue>(common::CreateObjectByName(Queue::CLASS_NAME));
    if (!queue)
        throw common::Error(common::ERR_CANNOT_CREATE,
                            QStringLiteral("Error creating object: ") + Queue::CLASS_NAME);
    return queue;
}

} // namespace components
