#pragma once

namespace server {

// The listener reports its errors with Winsock numbers, as callers and the
// messages built on them expect.
inline constexpr int WSAEACCES = 10013;     // permission denied (a port below 1024)
inline constexpr int WSAEADDRINUSE = 10048; // address already in use

// The Winsock number of an errno value; 10000 + errnoValue when none matches.
int WinsockError(int errnoValue);
// The errno value a Winsock number stands for: the inverse of WinsockError.
int ErrnoOfWinsockError(int number);

} // namespace server
