#pragma once

#include <QString>
#include <sys/types.h>

// Named liveness tokens: what the web server, the data server and a parent
// program use as named mutexes to show each other that they are alive.
//
// A token is a Unix stream socket bound to an abstract-namespace address:
//   sun_family = AF_UNIX,
//   sun_path   = "\0" "quorvex.mutex." <name as UTF-8>,
//   address length = offsetof(sockaddr_un, sun_path) + 1 + strlen("quorvex.mutex.") + bytes of
//   name (no trailing NUL).
// The holder creates it close-on-exec (so no child process ever inherits it), bind()s and
// listen()s. The name exists exactly while the holder keeps the socket open, and disappears
// when the holder closes it, exits or is killed. A test for the name is a non-blocking
// connect(): connected, or a full listen backlog (EAGAIN), means held; ECONNREFUSED means free.
// Every local user can bind abstract names, so a held token counts only when its holder runs
// as the same user as the tester or as root: the holder's credentials (SO_PEERCRED of the
// connection; with a full backlog the socket's owner from the kernel's socket diagnostics).
// Names of more than MAX_MUTEX_NAME_BYTES bytes are refused (ENAMETOOLONG), never truncated.
// Abstract names live per network namespace: both sides must run in the same one.
//
// Any program can hold a token, e.g. `socat ABSTRACT-LISTEN:quorvex.mutex.NAME,fork /dev/null`
// or in Python: s = socket.socket(AF_UNIX, SOCK_STREAM); s.bind(b"\0quorvex.mutex.NAME");
// s.listen().

namespace dataserver {

inline constexpr char MUTEX_ADDRESS_PREFIX[] = "quorvex.mutex.";
// sun_path holds 108 bytes: one leading NUL, the prefix, then the name.
inline constexpr int MAX_MUTEX_NAME_BYTES = 107 - int(sizeof(MUTEX_ADDRESS_PREFIX) - 1);
// The error number of a name that is held already.
inline constexpr int ERR_ALREADY_EXISTS = 183;

// Takes the token name, which must be free. Returns the handle (the socket, > 0).
// Raises common::Error 183 "Error creating instance mutex (<name>). <text>" when the name is
// held already; other failures raise their errno with the same description form.
// When the calling thread runs a Qt event loop, probes of the token are accepted and closed.
int CreateInstanceMutex(const QString& name);

// Releases a handle returned by CreateInstanceMutex; the name is free afterwards. A handle
// that CreateInstanceMutex did not return raises EBADF and closes nothing.
void DestroyInstanceMutex(int handle);

// Whether a process of this user or of root holds the name; one of another user does not
// count. Never takes the name itself, not even for a moment. The empty name is never held.
// Raises for names that are too long or an unexpected failure (no descriptor left, say), and
// with EAGAIN when a holder is there but its owner could not be found (unknown for now).
bool MutexExists(const QString& name);

// Whether a token held by user uid counts: ours, or root's.
bool IsTrustedHolder(uid_t uid);

// The message text of an error number, ending in "\r\n" like the system texts it stands in
// for; 183 is "already exists", other numbers are errno values; "" for unknown numbers.
QString SystemErrorText(int code);

} // namespace dataserver
