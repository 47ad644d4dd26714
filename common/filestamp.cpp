#include "common/filestamp.h"

#include <sys/stat.h>

namespace common {

FileStamp FileStamp::of(const struct stat& st) {
    return FileStamp{st.st_size, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                     st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec,
                     static_cast<quint64>(st.st_ino), static_cast<quint64>(st.st_dev)};
}

} // namespace common
