#pragma once

#include "common/filestamp.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <mutex>
#include <optional>

namespace common {

// Reads files that must lie inside a folder: a file whose real path (symbolic
// links resolved) is not inside the folder's real path is not read, so a link
// cannot lead a request out of it. Small files are kept with the stamp of the
// file that was checked and read; while the name still leads to a file of that
// stamp, the next read costs one stat instead of resolving both paths and
// reading the file again. A file that changes, or a name that comes to lead
// elsewhere, is checked and read anew. Any thread may read: the kept files are
// under a lock.
class InsideFiles final {
public:
    // The bytes of folder/name; nullopt when that is not a readable regular
    // file inside folder (or folder is "").
    std::optional<QByteArray> read(const QString& folder, const QString& name);
    // Forgets every kept file.
    void clear();

private:
    struct Kept {
        FileStamp stamp;
        QByteArray bytes;
    };
    void keep(const QString& path, Kept kept);
    std::optional<QByteArray> keptBytes(const QString& path, const struct stat& st);
    void forget(const QString& path);

    std::mutex m_lock;           // the kept files and their size
    QHash<QString, Kept> m_kept; // by the joined path
    qint64 m_keptBytes = 0;
};

} // namespace common
