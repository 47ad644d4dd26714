#include "bridge/redirectanswer.h"

#include "common/error.h"

namespace bridge {

QString RedirectAnswer(const QString& location) {
    if (location.contains(QLatin1Char('\r')) || location.contains(QLatin1Char('\n')))
        throw common::Error(common::ERR_PROGRAM,
                            QStringLiteral("The web application asked for a redirect holding a "
                                           "line break; refused."),
                            QStringLiteral("ProcessRequest"));
    return QStringLiteral("HTTP/1.0 302 Redirect\r\nStatus: 302 Moved\r\nLocation: ") + location +
           QStringLiteral("\r\nConnection: close\r\n\r\n");
}

} // namespace bridge
