#pragma once

#include "bridge/pagecontext.h"

namespace dataserver {
class Supervisor;
}

namespace core {

struct StartupValues;

// What the web application's administration page shows of this run now: the
// values fixed at start-up, the listening port, the request count, the data
// server's supervision and the most recent trace entries. DataServerRunning is
// left to the dynamic pages, which have just checked it.
bridge::ServerStatus CollectServerStatus(const StartupValues& values,
                                         const dataserver::Supervisor& supervisor, int port,
                                         int totalRequests);

} // namespace core
