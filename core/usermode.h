#pragma once

#include <QString>

namespace core {

// The default user mode from the context file: the text of /Context/Users/Method,
// upper-cased. Raises 1000 "Invalid usermode '<text>'" unless it is DETECT or
// APPLICATION; a missing or unreadable file gives the empty text and so that error.
QString ReadUserMode(const QString& path);

} // namespace core
