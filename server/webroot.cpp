#include "server/webroot.h"

#include "common/codepage.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace server {

namespace {
// The path of what fd has open, as the kernel resolved it; without /proc,
// name resolved again (a link changed in between then goes unseen). "" when unknown.
QByteArray realPathOf(int fd, const QByteArray& name) {
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = ::readlink(link.constData(), path, sizeof path);
    if (n > 0 && n < ssize_t(sizeof path))
        return QByteArray(path, n);
    char* resolved = ::realpath(name.constData(), nullptr);
    const QByteArray result(resolved);
    std::free(resolved);
    return result;
}
} // namespace

WebRoot::~WebRoot() {
    closeFolder();
}

bool WebRoot::setFolder(const QString& folder) {
    if (folder == m_folder)
        return false;
    closeFolder();
    m_folder = folder;
    return true;
}

QByteArray WebRoot::RelativeName(const QString& filePath) {
    qsizetype start = 0;
    while (start < filePath.size() && filePath[start] == QLatin1Char('/'))
        ++start; // "//etc/passwd" is etc/passwd under the web root, as it always was
    return common::ToCodePage(filePath.mid(start));
}

bool WebRoot::openFolder() {
    closeFolder();
    const QByteArray folder = QFile::encodeName(m_folder);
    m_fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_realFolder = realPathOf(m_fd, folder);
    if (!m_realFolder.isEmpty() && !m_realFolder.endsWith('/'))
        m_realFolder += '/';
    return true;
}

void WebRoot::closeFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_realFolder.clear();
}

bool WebRoot::stat(const QByteArray& name, struct stat& st) {
    if (m_fd < 0 && !openFolder())
        return false;
    if (::fstatat(m_fd, name.constData(), &st, 0) == 0)
        return true;
    // The folder may have been replaced by a new one of the same name.
    struct stat folder {};
    if (::fstat(m_fd, &folder) == 0 && folder.st_nlink > 0)
        return false;
    return openFolder() && ::fstatat(m_fd, name.constData(), &st, 0) == 0;
}

WebRoot::Opened WebRoot::open(const QByteArray& name, bool followOutside, int& fd) {
    if (m_fd < 0 && !openFolder())
        return Opened::NotFound;
    const int opened =
        ::openat(m_fd, name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (opened < 0)
        return errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == ENAMETOOLONG
                   ? Opened::NotFound
                   : Opened::Failed;
    // Checked on what was opened, so a link swapped meanwhile cannot slip through.
    if (!followOutside &&
        (m_realFolder.isEmpty() ||
         !realPathOf(opened, QFile::encodeName(m_folder) + '/' + name).startsWith(m_realFolder))) {
        ::close(opened);
        return Opened::Outside;
    }
    fd = opened;
    return Opened::Yes;
}

} // namespace server
