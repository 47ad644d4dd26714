#include "server/responses.h"

#include "common/answerhead.h"
#include "common/codepage.h"
#include "server/datedlines.h"
#include "server/webdate.h"

#include <algorithm>
#include <cmath>

namespace server {

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

QByteArray DynamicPageAnswer(const QString& pageText, const DatedLines& lines) {
    if (QStringView(pageText).left(7).compare(QLatin1String("HTTP/1."), Qt::CaseInsensitive) == 0)
        return common::ToCodePage(pageText);
    // In the code page a character is a byte: the length is known before the conversion.
    const QByteArray length = QByteArray::number(pageText.size());
    QByteArray answer;
    answer.reserve(256 + pageText.size());
    answer += "HTTP/1.1 200 OK\r\n";
    answer += lines.server();
    answer += lines.date();
    answer += "Content-Type: text/html\r\nAccept-Ranges: bytes\r\n";
    answer += lines.expires();
    answer += "Content-Length: " + length + "\r\nConnection: close\r\n\r\n";
    answer += common::ToCodePage(pageText);
    return answer;
}

QByteArray ErrorAnswer(int status, const QString& reason, const HttpConfig& config,
                       const QDateTime& now) {
    const QString title = QString::number(status) + QLatin1Char(' ') + reason;
    const QByteArray body = common::ToCodePage(QStringLiteral("<html><head><title>") + title +
                                               QStringLiteral("</title></head><body>") + title +
                                               QStringLiteral("</body></html>"));
    return common::AnswerHead(title)
               .add("Server", config.serverVersion)
               .add("Date", FormatWebDate(now, true))
               .add("Content-Type", QStringLiteral("text/html"))
               .add("Content-Length", QString::number(body.size()))
               .add("Connection", QStringLiteral("close"))
               .end() +
           body;
}

} // namespace server
