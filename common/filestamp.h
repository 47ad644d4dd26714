#pragma once

#include <QtGlobal>

struct stat;

namespace common {

// What tells one state of a file from another: a file that keeps its stamp
// still has the content it had (a write changes the times, a replacement the inode).
struct FileStamp {
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const FileStamp&) const = default;

    static FileStamp of(const struct stat& st);
};

} // namespace common
