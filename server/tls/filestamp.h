#pragma once

#include <QString>
#include <sys/types.h>

namespace server {

// What tells a file's new content from its old: the file it is (device, inode), its size and
// its modification and change times to the nanosecond. A file replaced by a rename, rewritten
// in place or touched shows a new stamp; a missing file has the empty stamp.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    long long modified = 0; // ns
    long long changed = 0;  // ns

    static FileStamp Of(const QString& path);
    bool operator==(const FileStamp&) const = default;
};

} // namespace server
