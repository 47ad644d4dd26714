#include "startup/portscan.h"

#include "common/userinterface.h"
#include "diagnostics/trace.h"
#include "server/httpserver.h"

#include <cerrno>
#include <cstring>

namespace startup {

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
    int errnoValue = 0;
    switch (number) {
    case WSAEACCES:
        errnoValue = EACCES;
        break;
    case WSAEADDRINUSE:
        errnoValue = EADDRINUSE;
        break;
    case 10049:
        errnoValue = EADDRNOTAVAIL;
        break;
    case 10047:
        errnoValue = EAFNOSUPPORT;
        break;
    case 10022:
        errnoValue = EINVAL;
        break;
    case 10024:
        errnoValue = EMFILE;
        break;
    case 10055:
        errnoValue = ENOBUFS;
        break;
    default:
        errnoValue = number > 10000 ? number - 10000 : number;
    }
    return QString::fromLocal8Bit(std::strerror(errnoValue));
}

int ScanPorts(server::HttpServer& server, int start, int end) {
    server.closeListener();
    for (int port = start; port <= end; ++port) {
        const int error = server.tryListen(port);
        if (error == 0) {
            server.closeListener();
            return port;
        }
        if (error == WSAEADDRINUSE)
            continue;
        if (error == WSAEACCES) {
            // Ports below 1024 need rights an ordinary user lacks: one trace line, no box.
            diagnostics::WriteTrace(QStringLiteral("Port ") + QString::number(port) +
                                    QStringLiteral(" skipped: ") + ListenErrorText(error));
            continue;
        }
        diagnostics::NotifyUser(failureMessage(error), common::MB_WARNING);
    }
    return 0;
}

} // namespace startup
