#include "server/winsockerror.h"

#include <cerrno>

namespace server {

namespace {
constexpr int WSABASEERR = 10000;

struct Pair {
    int errnoValue;
    int winsock;
};
// Where two errno values share a number, the first is the one it maps back to.
constexpr Pair PAIRS[] = {
    {EACCES, WSAEACCES},    {EPERM, WSAEACCES},    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, 10049}, {EAFNOSUPPORT, 10047}, {EINVAL, 10022},
    {EMFILE, 10024},        {ENFILE, 10024},       {ENOBUFS, 10055},
    {ENOMEM, 10055},
};
} // namespace

int WinsockError(int errnoValue) {
    for (const Pair& pair : PAIRS)
        if (pair.errnoValue == errnoValue)
            return pair.winsock;
    return WSABASEERR + errnoValue;
}

int ErrnoOfWinsockError(int number) {
    for (const Pair& pair : PAIRS)
        if (pair.winsock == number)
            return pair.errnoValue;
    return number > WSABASEERR ? number - WSABASEERR : number;
}

} // namespace server
