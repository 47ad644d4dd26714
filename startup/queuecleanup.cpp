#include "startup/queuecleanup.h"

#include <QDir>
#include <QFile>

namespace startup {

namespace {
void deleteMessages(const QString& folder) {
    QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.msg")}, QDir::Files | QDir::Hidden);
    for (const QString& name : names)
        QFile::remove(dir.filePath(name));
}
} // namespace

void RemoveQueueFolder(const QString& folder) {
    if (folder.isEmpty())
        return;
    const QString tmp = folder + QStringLiteral("/tmp");
    deleteMessages(tmp);
    RemoveEmptyFolder(tmp);
    deleteMessages(folder);
    RemoveEmptyFolder(folder);
}

void RemoveEmptyFolder(const QString& folder) {
    if (!folder.isEmpty())
        QDir().rmdir(folder); // rmdir refuses a folder that still holds anything
}

void DeleteFileQuietly(const QString& path) {
    if (!path.isEmpty())
        QFile::remove(path);
}

} // namespace startup
