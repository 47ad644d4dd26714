#include "common/errnotext.h"

#include <cstring>

namespace common {

QString ErrnoText(int errnoValue) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    return QString::fromLocal8Bit(::strerror_r(errnoValue, buffer, sizeof buffer));
}

} // namespace common
