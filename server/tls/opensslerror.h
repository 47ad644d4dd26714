#pragma once

#include <QString>

namespace server {

// The reasons OpenSSL queued on this thread for its last failure, oldest first, joined by
// "; ", and the queue emptied, so that they are not taken for the next failure's; "" when it
// queued none.
QString OpenSslErrorText();

} // namespace server
