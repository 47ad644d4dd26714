#include "webapp/response.h"

#include "common/codepage.h"
#include "common/version.h"
#include "common/webdate.h"

#include <QDateTime>

namespace webapp {

namespace {
const QByteArray CONTENT_TYPE = QByteArrayLiteral("Content-Type");
}

Response ComponentAnswer(const Response& page) {
    QByteArray contentType = QByteArrayLiteral("text/html; charset=utf-8");
    QList<QPair<QByteArray, QByteArray>> own;
    for (const auto& line : page.headers) {
        if (line.first.compare(CONTENT_TYPE, Qt::CaseInsensitive) == 0)
            contentType = line.second;
        else
            own.append(line);
    }
    if (page.status == 200 && own.isEmpty() && !page.hasFile() &&
        contentType.startsWith("text/html")) {
        Response body = Response::PageBody(page.body);
        body.holdMs = page.holdMs;
        return body;
    }
    Response r(page.status, page.reason);
    r.holdMs = page.holdMs;
    r.body = page.body;
    r.file = page.file;
    r.headers.reserve(own.size() + 6);
    r.add("Server", common::ServerVersion())
        .add("Date", common::FormatWebDate(QDateTime::currentDateTimeUtc(), true))
        .add("Content-Type", contentType)
        .addContentLength();
    r.headers.append(own);
    r.add("Cache-Control", QByteArrayLiteral("no-store"))
        .add("Connection", QByteArrayLiteral("close"));
    return r;
}

QString RedirectOf(const Response& page) {
    return page.status == 302 ? common::FromCodePage(page.header("Location")) : QString();
}

} // namespace webapp
