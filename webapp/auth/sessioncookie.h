#pragma once

#include <QString>

namespace webapp {

// The session cookie: 256 random bits, base64url, named SESSION_COOKIE. The server keeps only
// SessionKey of it (a BLAKE2b hash), so that what its database holds cannot be used as a
// cookie.
inline constexpr char SESSION_COOKIE[] = "qvsession";
// The longest a session lasts from its sign-in, whatever the idle time-out.
inline constexpr qint64 SESSION_MAX_SECONDS = 12 * 3600;
// How stale a session's last use may be before it is written again: the idle time-out is
// counted from a use at most this much older than the last.
inline constexpr qint64 SESSION_TOUCH_SECONDS = 60;

QString NewSessionId();
// The server's key of a session id; "" for a text that cannot be a session id.
QString SessionKey(const QString& id);
// The session id in a Cookie header ("a=1; qvsession=...; b=2"); "" when none.
QString SessionIdFromCookies(const QString& cookieHeader);
// The Set-Cookie value that hands id to the browser, or with an empty id the one that
// removes the cookie. secure: the request came over HTTPS.
QString SessionCookie(const QString& id, bool secure);

} // namespace webapp
