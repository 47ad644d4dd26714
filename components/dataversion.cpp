#include "components/dataversion.h"

#include "components/queue.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace components {

namespace {

constexpr qsizetype MAX_VERSION_BYTES = 256;

QByteArray pathIn(const QString& folder, const QString& name) {
    return QFile::encodeName(folder + QLatin1Char('/') + name);
}

QByteArray versionPath(const QString& folder) {
    return pathIn(folder, QLatin1String(DATA_VERSION_FILE));
}

bool writeWhole(const QByteArray& path, const QByteArray& bytes) {
    const int fd =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, QUEUE_FILE_MODE);
    if (fd < 0)
        return false;
    bool ok = true;
    for (qsizetype done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? n : 0;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

QString ReadDataVersion(const QString& queueFolder) {
    if (queueFolder.isEmpty())
        return {};
    // Plain system calls: this is read before every request that may be answered from a cache.
    const int fd = ::open(versionPath(queueFolder).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[MAX_VERSION_BYTES + 1];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    // An oversized file is not a version this program wrote.
    if (n <= 0 || n > MAX_VERSION_BYTES)
        return {};
    return QString::fromUtf8(buffer, n);
}

bool PublishDataVersion(const QString& queueFolder, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const QByteArray partial =
        pathIn(queueFolder,
               QLatin1String(PARTIAL_FOLDER) + QLatin1Char('/') + QLatin1String(DATA_VERSION_FILE));
    if (!text.isEmpty() && bytes.size() <= MAX_VERSION_BYTES && writeWhole(partial, bytes) &&
        ::rename(partial.constData(), versionPath(queueFolder).constData()) == 0)
        return true;
    ::unlink(partial.constData());
    WithdrawDataVersion(queueFolder);
    return false;
}

void WithdrawDataVersion(const QString& queueFolder) {
    if (!queueFolder.isEmpty())
        ::unlink(versionPath(queueFolder).constData());
}

} // namespace components
