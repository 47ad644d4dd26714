#include "server/webroot.h"

#include "common/codepage.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace server {

namespace {
// The path of what fd has open, as the kernel resolved it.
QByteArray realPathOf(int fd, const QByteArray& name) {
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), path, sizeof path);
    if (n > 0 && n < ssize_t(sizeof path))
        return QByteArray(path, n);
    // Without /proc: resolve the name again (a link changed in between goes unseen).
    char* resolved = ::realpath(name.constData(), nullptr);
    const QByteArray result = resolved ? QByteArray(resolved) : QByteArray();
    std::free(resolved);
    return result;
}
} // namespace

QByteArray WebRoot::DiskName(const QString& folder, const QString& filePath) {
    return QFile::encodeName(folder) + common::ToCodePage(filePath);
}

const QByteArray& WebRoot::realFolder(const QString& folder) {
    if (folder != m_folder || m_realFolder.isEmpty()) {
        m_folder = folder;
        m_realFolder.clear();
        if (char* resolved = ::realpath(QFile::encodeName(folder).constData(), nullptr)) {
            m_realFolder = QByteArray(resolved);
            std::free(resolved);
            if (!m_realFolder.endsWith('/'))
                m_realFolder += '/';
        }
    }
    return m_realFolder;
}

WebRoot::Opened WebRoot::open(const QString& folder, const QByteArray& diskName, bool followOutside,
                              int& fd) {
    const int opened = ::open(diskName.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (opened < 0)
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG
                   ? Opened::NotFound
                   : Opened::Failed;
    if (!followOutside) {
        // Checked on what was opened, so a link swapped meanwhile cannot slip through.
        const QByteArray& root = realFolder(folder);
        if (root.isEmpty() || !realPathOf(opened, diskName).startsWith(root)) {
            ::close(opened);
            return Opened::Outside;
        }
    }
    fd = opened;
    return Opened::Yes;
}

} // namespace server
