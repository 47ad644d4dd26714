#include "server/tls/filestamp.h"

#include <QFile>
#include <sys/stat.h>

namespace server {

FileStamp FileStamp::Of(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    constexpr long long NS = 1000000000LL;
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim.tv_sec * NS + info.st_mtim.tv_nsec,
            info.st_ctim.tv_sec * NS + info.st_ctim.tv_nsec};
}

} // namespace server
