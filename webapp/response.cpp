#include "webapp/response.h"

#include "common/answerhead.h"
#include "common/codepage.h"
#include "common/version.h"

#include <QDateTime>
#include <QLocale>

namespace webapp {

Response Response::page(const QString& html, int status) {
    Response r;
    r.status = status;
    r.body = html.toUtf8();
    return r;
}

Response Response::redirectTo(const QString& address) {
    Response r;
    r.redirect = address;
    return r;
}

QByteArray ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    }
    return {};
}

QString Response::answer() const {
    if (!redirect.isEmpty())
        return {};
    const bool plain = status == 200 && headers.isEmpty() && contentType.startsWith("text/html");
    if (plain)
        return common::FromCodePage(body);
    const QByteArray date =
        QLocale::c()
            .toString(QDateTime::currentDateTimeUtc(), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"))
            .toLatin1();
    common::AnswerHead head(QString::number(status) + QLatin1Char(' ') +
                            QLatin1String(ReasonPhrase(status)));
    head.add("Server", common::ServerVersion())
        .add("Date", date + " GMT")
        .add("Content-Type", contentType)
        .add("Content-Length", QByteArray::number(body.size()));
    for (const auto& [name, value] : headers)
        head.add(name.constData(), value);
    head.add("Cache-Control", QByteArrayLiteral("no-store"))
        .add("Connection", QByteArrayLiteral("close"));
    const QByteArray out = head.end() + body;
    return common::FromCodePage(out);
}

} // namespace webapp
