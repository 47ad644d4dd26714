#pragma once

#include <QString>

namespace server {
class HttpServer;
enum class Scheme;
} // namespace server

namespace core {

// The first port from start to end (both included) on which the server's listener
// can listen; 0 when none. Closes the listener first (a running server stops
// listening) and leaves it closed. A port in use is skipped silently, a port that
// needs rights we lack is skipped with a trace entry; any other failure is shown
// to the user, one message per port, and the scan goes on.
int ScanPorts(server::HttpServer& server, int start, int end);

// Where a user without the right to listen below 1024 looks instead.
inline constexpr int UNPRIVILEGED_FIRST_PORT = 8080;
inline constexpr int UNPRIVILEGED_LAST_PORT = 8100;

// Where a user without the right to listen below 1024 looks for an HTTPS port instead.
inline constexpr int UNPRIVILEGED_FIRST_HTTPS_PORT = 8443;
inline constexpr int UNPRIVILEGED_LAST_HTTPS_PORT = 8463;

// As ScanPorts, but when every port from start to end was refused for lack of privilege
// (a user other than root and ports below 1024), goes on with 8080 to 8100 (traced).
int ScanPortsForUser(server::HttpServer& server, int start, int end);
// The same on the HTTPS listener, going on with 8443 to 8463.
int ScanHttpsPortsForUser(server::HttpServer& server, int start, int end);

// The text of a Winsock-style listen error number.
QString ListenErrorText(int number);

} // namespace core
