#pragma once

#include <QString>

namespace server {

// Client text made safe for one log line: control characters (C0, DEL, C1) and
// the Unicode line and paragraph separators become "\r", "\n", "\t", "\xHH" or
// "\uHHHH", so a request cannot start a forged line of its own. Other text,
// backslashes included, is kept as sent.
QString EscapeControlCharacters(const QString& text);

// A query string for the log: the value of every field whose name, decoded as
// the web application decodes it ("k%65y" too), names a secret in any letter case
// (the administration page's "key", the set-up "code", "password", "newpassword",
// "repeat", "token", "formtoken") becomes "(hidden)", so that a log readable by
// other local users never hands them a key, a code or a password. A value ends at "&" or at a
// blank (the end of the target in a request line). Everything else is kept as sent.
QString HideKeys(const QString& query);

// The one text every trace of a request shows of it: path (a decoded path, or a
// whole request line) followed by query, with the key hidden in both (in path
// after its first "?") and control characters escaped.
QString RequestTraceText(const QString& path, const QString& query = {});

} // namespace server
