#pragma once

#include "common/filestamp.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace common {

// Reads files that must lie inside a folder: a file whose real path (symbolic
// links resolved) is not inside the folder's real path is not read, so a link
// cannot lead a request out of it. Small files are kept with the stamp of the
// file that was checked and read; while the name still leads to a file of that
// stamp, the next read costs one stat instead of resolving both paths and
// reading the file again. A file that changes, or a name that comes to lead
// elsewhere, is checked and read anew.
class InsideFiles final {
public:
    // The bytes of folder/name; nullopt when that is not a readable regular
    // file inside folder (or folder is "").
    std::optional<QByteArray> read(const QString& folder, const QString& name);

private:
    struct Kept {
        FileStamp stamp;
        QByteArray bytes;
    };
    void keep(const QString& path, Kept kept);

    QHash<QString, Kept> m_kept; // by the joined path
    qint64 m_keptBytes = 0;
};

} // namespace common
