#include "server/responses.h"

#include "common/codepage.h"
#include "common/webdate.h"
#include "server/datedlines.h"

#include <algorithm>
#include <cmath>

namespace server {

namespace {
const QByteArray CLOSE = QByteArrayLiteral("close");
}

QDateTime AddDays(const QDateTime& d, double days) {
    // A settings value of 1e300 days must give a date, not an overflow.
    const double bounded =
        std::isnan(days) ? 0.0 : std::clamp(days, -MAX_ADDED_DAYS, MAX_ADDED_DAYS);
    return d.addMSecs(std::llround(bounded * 86400000.0));
}

common::Response ContinueAnswer() {
    return common::Response(100);
}

common::Response MethodNotAllowedAnswer() {
    common::Response r(405);
    r.add("Connection", CLOSE);
    return r;
}

common::Response DynamicPageAnswer(common::Response page, const DatedLines& lines) {
    if (page.form != common::Response::Form::Page)
        return page;
    common::Response r(200);
    r.headers.reserve(7 + page.headers.size());
    r.body = std::move(page.body);
    r.add("Server", lines.server())
        .add("Date", lines.date())
        .add("Content-Type", QByteArrayLiteral("text/html"))
        .add("Accept-Ranges", QByteArrayLiteral("bytes"))
        .add("Expires", lines.expires())
        .addContentLength();
    r.headers.append(page.headers);
    // Pages hold forms and the administration: no other site may frame them to trick a
    // user's clicks, and a browser takes them for what Content-Type says.
    r.add("X-Frame-Options", QByteArrayLiteral("SAMEORIGIN"))
        .add("X-Content-Type-Options", QByteArrayLiteral("nosniff"))
        .add("Connection", CLOSE);
    return r;
}

common::Response ErrorAnswer(int status, const HttpConfig& config, const QDateTime& now) {
    common::Response r(status);
    const QString title =
        QString::number(status) + QLatin1Char(' ') + QLatin1String(common::ReasonPhrase(status));
    r.body = common::ToCodePage(QStringLiteral("<html><head><title>") + title +
                                QStringLiteral("</title></head><body>") + title +
                                QStringLiteral("</body></html>"));
    r.add("Server", config.serverVersion)
        .add("Date", common::FormatWebDate(now, true))
        .add("Content-Type", QByteArrayLiteral("text/html"))
        .addContentLength()
        .add("Connection", CLOSE);
    return r;
}

common::Response HttpsRedirectAnswer(const QByteArray& location, const HttpConfig& config,
                                     const QDateTime& now) {
    common::Response r = ErrorAnswer(301, config, now);
    // After the date, as a redirect of the web application has it near the top.
    r.headers.insert(2, {QByteArrayLiteral("Location"), location});
    return r;
}

common::Response BusyAnswer(const HttpConfig& config, const QDateTime& now) {
    common::Response r = ErrorAnswer(503, config, now);
    // Before the last line, "Connection: close", which every answer ends with.
    r.headers.insert(r.headers.size() - 1,
                     {QByteArrayLiteral("Retry-After"),
                      QByteArray::number(std::max(config.retryAfterSeconds, 1))});
    return r;
}

} // namespace server
