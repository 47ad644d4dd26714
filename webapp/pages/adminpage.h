#pragma once

#include "webapp/pageenvironment.h"

namespace webapp {

// 127.0.0.0/8, ::1 and IPv4-mapped 127.x (::ffff:127.0.0.1).
bool IsLoopbackAddress(const QString& address);

// ?page=admin&key=<key>: the state of the server and the data server, the application
// Dictionary and the latest trace entries. Only for requests from a loopback address that
// carry bridge::AdminKey of the run's secret; any other gets 403.
Response AdminPage(const PageEnvironment& env);

} // namespace webapp
