#pragma once

#include <QString>

namespace server {

// Client text made safe for one log line: control characters (C0, DEL, C1) and
// the Unicode line and paragraph separators become "\r", "\n", "\t", "\xHH" or
// "\uHHHH", so a request cannot start a forged line of its own. Other text,
// backslashes included, is kept as sent.
QString EscapeControlCharacters(const QString& text);

} // namespace server
