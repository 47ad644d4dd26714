#include "webapp/data/exportfile.h"

#include "common/errnotext.h"
#include "common/error.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace webapp {

namespace {

[[noreturn]] void fail(const QString& what, int error) {
    throw common::Error(common::ERR_PROGRAM, what + QStringLiteral(": ") + common::ErrnoText(error),
                        QStringLiteral("Export"));
}

// An open file without a name in folder: O_TMPFILE, or where the file system has none, a file
// made by mkstemp and unlinked at once.
int unnamedFile(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    QByteArray name = path + "/export-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.constData());
    return fd;
}

} // namespace

ExportFile::ExportFile(const QString& folder) : m_file(std::make_shared<QFile>()) {
    if (folder.isEmpty())
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("No folder is set for the files of exports."),
                            QStringLiteral("Export"));
    const int fd = unnamedFile(folder);
    if (fd < 0)
        fail(QStringLiteral("Cannot make a file for an export in ") + folder, errno);
    m_file->open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
}

void ExportFile::write(const QByteArray& bytes) {
    if (m_file->write(bytes) != bytes.size())
        fail(QStringLiteral("Cannot write the file of an export"), errno);
    m_length += bytes.size();
}

common::Response::File ExportFile::finish() {
    if (!m_file->flush() || !m_file->seek(0))
        fail(QStringLiteral("Cannot write the file of an export"), errno);
    return {m_file, m_length};
}

} // namespace webapp
