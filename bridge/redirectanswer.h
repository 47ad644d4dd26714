#pragma once

#include "common/response.h"

#include <QString>

namespace bridge {

// The complete answer that sends the browser to location:
// "HTTP/1.0 302 Redirect", "Status: 302 Moved", "Location: <location>" and
// "Connection: close" (the connection carries this one answer), each ended by
// CR LF, then CR LF (common::Response::redirectTo). A location holding CR or LF
// would split the answer into lines of the component's making: raises 1000 instead.
common::Response RedirectAnswer(const QString& location);

} // namespace bridge
