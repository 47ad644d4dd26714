#include "webapp/data/workbookfile.h"

#include "common/errnotext.h"
#include "common/error.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

namespace webapp {

namespace {

[[noreturn]] void fail(const QString& what) {
    throw common::Error(common::ERR_PROGRAM, what, QStringLiteral("Export"));
}

} // namespace

WorkbookFile::WorkbookFile(const QString& folder) : m_folder(QFile::encodeName(folder)) {
    if (folder.isEmpty())
        fail(QStringLiteral("No folder is set for the files of exports."));
    m_path = m_folder + "/workbook-XXXXXX";
    const int fd = ::mkostemp(m_path.data(), O_CLOEXEC);
    if (fd < 0)
        fail(QStringLiteral("Cannot make a file for an export in ") + folder +
             QStringLiteral(": ") + common::ErrnoText(errno));
    ::close(fd);
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_folder.data();
    m_workbook = workbook_new_opt(m_path.constData(), &options);
    if (!m_workbook) {
        ::unlink(m_path.constData());
        fail(QStringLiteral("Cannot start a workbook in ") + folder);
    }
}

WorkbookFile::~WorkbookFile() {
    if (m_workbook) {
        lxw_workbook_free(m_workbook);
        ::unlink(m_path.constData());
    }
}

common::Response::File WorkbookFile::finish() {
    // The writer opens the name it was given, which is still this private 0600 file.
    const lxw_error closed = workbook_close(std::exchange(m_workbook, nullptr));
    const int fd = ::open(m_path.constData(), O_RDONLY | O_CLOEXEC);
    const int openError = errno;
    ::unlink(m_path.constData());
    if (closed != LXW_NO_ERROR) {
        if (fd >= 0)
            ::close(fd);
        fail(QStringLiteral("Cannot write the workbook of an export: ") +
             QString::fromUtf8(lxw_strerror(closed)));
    }
    if (fd < 0)
        fail(QStringLiteral("Cannot read the workbook of an export back: ") +
             common::ErrnoText(openError));
    struct stat status {};
    ::fstat(fd, &status);
    auto file = std::make_shared<QFile>();
    file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return {file, status.st_size};
}

} // namespace webapp
