#include "components/filesystemobject.h"

#include "common/errnotext.h"
#include "common/error.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

namespace components {

const QString FileSystemObject::CLASS_NAME = QStringLiteral("Scripting.FileSystemObject");

namespace {
bool statPath(const QString& path, struct stat& st) {
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

// The scripting runtime's numbers for the failures a caller may want to tell apart.
[[noreturn]] void raiseCreateError(const QString& path, int err) {
    int number = err;
    QString text = common::ErrnoText(err);
    if (err == EEXIST) {
        number = 58;
        text = QStringLiteral("File already exists");
    } else if (err == ENOENT || err == ENOTDIR) {
        number = 76;
        text = QStringLiteral("Path not found");
    } else if (err == EACCES || err == EPERM || err == EROFS) {
        number = 70;
        text = QStringLiteral("Permission denied");
    }
    throw common::Error(number, text + QStringLiteral(": ") + path, FileSystemObject::CLASS_NAME);
}
} // namespace

bool FileSystemObject::FolderExists(const QString& path) const {
    struct stat st {};
    return statPath(path, st) && S_ISDIR(st.st_mode);
}

bool FileSystemObject::FileExists(const QString& path) const {
    struct stat st {};
    return statPath(path, st) && !S_ISDIR(st.st_mode);
}

void FileSystemObject::CreateFolder(const QString& path) const {
    if (path.isEmpty())
        raiseCreateError(path, ENOENT);
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        raiseCreateError(path, errno);
}

} // namespace components
