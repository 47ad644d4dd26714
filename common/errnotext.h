#pragma once

#include <QString>

namespace common {

// The system's text for an errno value ("No such file or directory"), safe to
// call from any thread.
QString ErrnoText(int errnoValue);

} // namespace common
