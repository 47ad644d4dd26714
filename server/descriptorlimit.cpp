#include "server/descriptorlimit.h"

#include <algorithm>
#include <climits>
#include <sys/resource.h>

namespace server {

namespace {
rlim_t softLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    return limit.rlim_cur;
}
} // namespace

long RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur != limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    const rlim_t now = softLimit();
    return now == RLIM_INFINITY ? LONG_MAX : static_cast<long>(std::min<rlim_t>(now, LONG_MAX));
}

int ConnectionSlotsForDescriptorLimit() {
    const rlim_t limit = std::min<rlim_t>(softLimit(), INT_MAX);
    const long slots =
        (static_cast<long>(limit) - RESERVED_DESCRIPTORS) / DESCRIPTORS_PER_CONNECTION;
    return static_cast<int>(std::clamp<long>(slots, 1, INT_MAX));
}

} // namespace server
