#include "core/queuecleanup.h"

#include <QDir>
#include <QFile>

namespace core {

void RemoveEmptyFolder(const QString& folder) {
    if (!folder.isEmpty())
        QDir().rmdir(folder); // rmdir refuses a folder that still holds anything
}

void DeleteFileQuietly(const QString& path) {
    if (!path.isEmpty())
        QFile::remove(path);
}

} // namespace core
