#pragma once

#include <QString>

namespace server {

// Client text made safe for one log line: control characters (C0, DEL, C1) and
// the Unicode line and paragraph separators become "\r", "\n", "\t", "\xHH" or
// "\uHHHH", so a request cannot start a forged line of its own. Other text,
// backslashes included, is kept as sent.
QString EscapeControlCharacters(const QString& text);

// A query string for the log: the value of every field named "key" (the
// administration page's key) becomes "(hidden)", so that a log readable by other
// local users never hands them the key. Everything else is kept as sent.
QString HideKeys(const QString& query);

} // namespace server
