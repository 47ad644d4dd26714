#include "common/files.h"

#include "common/errnotext.h"
#include "common/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace common {

namespace {
QString& programFolderOverride() {
    static QString folder;
    return folder;
}

[[noreturn]] void folderError(const QString& target, const QString& current, int err) {
    throw Error(err,
                QStringLiteral("Error creating folder in function MkDirRecurse. Target=") + target +
                    QStringLiteral(", Current=") + current + QStringLiteral(". ") + ErrnoText(err),
                QStringLiteral("MkDirRecurse"));
}
} // namespace

QString ProgramFolder() {
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    // Before any application object (dbsvr's configuration mode opens its log before its
    // dialog makes one), the kernel's link to the executable says the same.
    if (!QCoreApplication::instance())
        return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).path();
    return QCoreApplication::applicationDirPath();
}

void SetProgramFolder(const QString& folder) {
    programFolderOverride() = folder;
}

void MkDirRecurse(const QString& path, mode_t mode) {
    // Walk the parts from the root so that the failing part can be named.
    const bool absolute = path.startsWith(QLatin1Char('/'));
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        current += part + QLatin1Char('/');
        // Asked without the trailing "/": with it, a file in the way answers ENOTDIR and
        // mkdir then EEXIST, which would pass for a folder.
        const QByteArray native = QFile::encodeName(current.chopped(1));
        struct stat st {};
        if (::stat(native.constData(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                folderError(path, current, ENOTDIR);
            continue;
        }
        if (errno != ENOENT)
            folderError(path, current, errno);
        // EEXIST: made by somebody else meanwhile; the next part finds out what it is.
        if (::mkdir(native.constData(), mode) != 0 && errno != EEXIST)
            folderError(path, current, errno);
    }
}

bool IsOwnFile(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && st.st_uid == ::geteuid();
}

QByteArray ReadFile(const QString& path) {
    if (path.isEmpty())
        throw Error(
            ERR_PROGRAM,
            QStringLiteral("Function ReadFile does not accept an empty file name as parameter."));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(ERR_PROGRAM, QStringLiteral("Unable to read ") + path + QStringLiteral(". ") +
                                     f.errorString());
    return f.readAll();
}

void SaveFile(const QString& path, const QByteArray& bytes, FileAccess access) {
    // Written beside and renamed into place, so a reader never sees half a file.
    QSaveFile f(path);
    f.setDirectWriteFallback(true);
    const bool opened = f.open(QIODevice::WriteOnly) &&
                        (access == FileAccess::Shared ||
                         f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    if (!opened || f.write(bytes) != bytes.size() || !f.commit())
        throw Error(ERR_PROGRAM, QStringLiteral("Unable to write ") + path + QStringLiteral(". ") +
                                     f.errorString());
}

QString AccountName(uid_t uid) {
    // getpwuid's record is shared by every thread; pages look accounts up on several at once.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 4096));
    passwd record{};
    passwd* found = nullptr;
    int error = 0;
    while ((error = ::getpwuid_r(uid, &record, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    return error == 0 && found ? QString::fromLocal8Bit(found->pw_name) : QString();
}

QString CurrentUserName() {
    return AccountName(::geteuid());
}

QString ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return QString::fromLocal8Bit(name);
}

} // namespace common
