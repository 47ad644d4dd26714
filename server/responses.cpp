#include "server/responses.h"

#include "common/codepage.h"
#include "server/webdate.h"

#include <algorithm>
#include <cmath>

namespace server {

namespace {
const QString CRLF = QStringLiteral("\r\n");
} // namespace

QDateTime AddDays(const QDateTime& d, double days) {
    // A settings value of 1e300 days must give a date, not an overflow.
    const double bounded =
        std::isnan(days) ? 0.0 : std::clamp(days, -MAX_ADDED_DAYS, MAX_ADDED_DAYS);
    return d.addMSecs(std::llround(bounded * 86400000.0));
}

QByteArray ContinueAnswer() {
    return QByteArrayLiteral("HTTP/1.1 100 Continue\r\n\r\n");
}

QByteArray MethodNotAllowedAnswer() {
    return QByteArrayLiteral("HTTP/1.1 405 Method Not Allowed\r\nConnection: close\r\n\r\n");
}

QByteArray DynamicPageAnswer(const QString& pageText, const HttpConfig& config,
                             const QDateTime& now) {
    const QByteArray page = common::ToCodePage(pageText);
    if (pageText.left(7).toUpper() == QLatin1String("HTTP/1."))
        return page;
    const QString head =
        QStringLiteral("HTTP/1.1 200 OK") + CRLF + QStringLiteral("Server: ") +
        config.serverVersion + CRLF + QStringLiteral("Date: ") + FormatWebDate(now, true) + CRLF +
        QStringLiteral("Content-Type: text/html") + CRLF + QStringLiteral("Accept-Ranges: bytes") +
        CRLF + QStringLiteral("Expires: ") +
        FormatWebDate(AddDays(now, config.cacheExpiresDynamic), true) + CRLF +
        QStringLiteral("Content-Length: ") + QString::number(page.size()) + CRLF +
        QStringLiteral("Connection: close") + CRLF + CRLF;
    return common::ToCodePage(head) + page;
}

QByteArray ErrorAnswer(int status, const QString& reason, const HttpConfig& config,
                       const QDateTime& now) {
    const QString title = QString::number(status) + QLatin1Char(' ') + reason;
    const QByteArray body = common::ToCodePage(QStringLiteral("<html><head><title>") + title +
                                               QStringLiteral("</title></head><body>") + title +
                                               QStringLiteral("</body></html>"));
    const QString head =
        QStringLiteral("HTTP/1.1 ") + title + CRLF + QStringLiteral("Server: ") +
        config.serverVersion + CRLF + QStringLiteral("Date: ") + FormatWebDate(now, true) + CRLF +
        QStringLiteral("Content-Type: text/html") + CRLF + QStringLiteral("Content-Length: ") +
        QString::number(body.size()) + CRLF + QStringLiteral("Connection: close") + CRLF + CRLF;
    return common::ToCodePage(head) + body;
}

} // namespace server
