#include "core/portscan.h"

#include "common/errnotext.h"
#include "common/userinterface.h"
#include "diagnostics/trace.h"
#include "server/httpserver.h"
#include "server/winsockerror.h"

namespace core {

namespace {
QString failureMessage(int number) {
    return QStringLiteral(
               "Error while scanning for available ports.\r\n\r\nError Information:\r\n") +
           QString::number(number) + QStringLiteral(" (0x") +
           QString::number(number, 16).toUpper() + QStringLiteral(")\r\n") +
           ListenErrorText(number);
}
} // namespace

QString ListenErrorText(int number) {
    return common::ErrnoText(server::ErrnoOfWinsockError(number));
}

namespace {
struct ScanResult {
    int port = 0;
    int privileged = 0; // ports refused for lack of privilege
};

ScanResult scan(server::HttpServer& server, int start, int end,
                server::Scheme scheme = server::Scheme::Http) {
    ScanResult result;
    server.closeListener(scheme);
    for (int port = start; port <= end; ++port) {
        const int error = server.tryListen(port, scheme);
        if (error == 0) {
            server.closeListener(scheme);
            result.port = port;
            return result;
        }
        if (error == server::WSAEADDRINUSE)
            continue;
        if (error == server::WSAEACCES) {
            // Ports below 1024 need rights an ordinary user lacks: one trace line, no box.
            diagnostics::WriteTrace(QStringLiteral("Port ") + QString::number(port) +
                                    QStringLiteral(" skipped: ") + ListenErrorText(error));
            ++result.privileged;
            continue;
        }
        diagnostics::NotifyUser(failureMessage(error), common::MB_WARNING);
    }
    return result;
}
} // namespace

int ScanPorts(server::HttpServer& server, int start, int end) {
    return scan(server, start, end).port;
}

namespace {
int scanForUser(server::HttpServer& server, int start, int end, server::Scheme scheme,
                int fallbackStart, int fallbackEnd) {
    const ScanResult result = scan(server, start, end, scheme);
    if (result.port > 0 || end < start || result.privileged < end - start + 1)
        return result.port;
    diagnostics::WriteTrace(QStringLiteral("Ports %1 to %2 all need privileges; scanning %3 to %4")
                                .arg(start)
                                .arg(end)
                                .arg(fallbackStart)
                                .arg(fallbackEnd));
    return scan(server, fallbackStart, fallbackEnd, scheme).port;
}
} // namespace

int ScanPortsForUser(server::HttpServer& server, int start, int end) {
    return scanForUser(server, start, end, server::Scheme::Http, UNPRIVILEGED_FIRST_PORT,
                       UNPRIVILEGED_LAST_PORT);
}

int ScanHttpsPortsForUser(server::HttpServer& server, int start, int end) {
    return scanForUser(server, start, end, server::Scheme::Https, UNPRIVILEGED_FIRST_HTTPS_PORT,
                       UNPRIVILEGED_LAST_HTTPS_PORT);
}

} // namespace core
