#include "common/response.h"

#include "common/codepage.h"

#include <QFile>
#include <cstring>

namespace common {

Response Response::page(const QString& html, int status) {
    Response r(status);
    r.add("Content-Type", QByteArrayLiteral("text/html; charset=utf-8"));
    r.body = html.toUtf8();
    return r;
}

Response Response::redirectTo(const QString& location) {
    Response r(302, QByteArrayLiteral("Redirect"));
    r.version = QByteArrayLiteral("HTTP/1.0");
    r.add("Status", QByteArrayLiteral("302 Moved"))
        .add("Location", location)
        .add("Connection", QByteArrayLiteral("close"));
    return r;
}

Response Response::PageBody(QByteArray body) {
    Response r;
    r.form = Form::Page;
    r.body = std::move(body);
    return r;
}

Response Response::Verbatim(QByteArray answer) {
    Response r;
    r.form = Form::Verbatim;
    r.body = std::move(answer);
    return r;
}

QByteArray Response::encoded(const QString& value) {
    return ToCodePage(value);
}

Response& Response::addContentLength() {
    return add("Content-Length", QByteArray::number(bodyLength()));
}

Response& Response::setFile(std::shared_ptr<QFile> f, qint64 length) {
    file = File{std::move(f), length};
    body.clear();
    return *this;
}

QByteArray Response::header(const char* name) const {
    for (const auto& [n, value] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray Response::head() const {
    if (form != Form::Complete)
        return {};
    const QByteArray phrase = reason.isEmpty() ? ReasonPhrase(status) : reason;
    const QByteArray code = QByteArray::number(status);
    // Every answer passes here: the size is counted first, and the parts copied in once.
    qsizetype size = version.size() + 1 + code.size() + 1 + phrase.size() + 2 + 2;
    for (const auto& [name, value] : headers)
        size += name.size() + 2 + value.size() + 2;
    QByteArray out(size, Qt::Uninitialized);
    char* at = out.data();
    const auto put = [&at](const char* data, qsizetype length) {
        std::memcpy(at, data, size_t(length));
        at += length;
    };
    put(version.constData(), version.size());
    put(" ", 1); // there even when the reason is empty, as the status line has it
    put(code.constData(), code.size());
    put(" ", 1);
    put(phrase.constData(), phrase.size());
    put("\r\n", 2);
    for (const auto& [name, value] : headers) {
        put(name.constData(), name.size());
        put(": ", 2);
        put(value.constData(), value.size());
        put("\r\n", 2);
    }
    put("\r\n", 2);
    return out;
}

QByteArray ReasonPhrase(int status) {
    switch (status) {
    case 100:
        return QByteArrayLiteral("Continue");
    case 200:
        return QByteArrayLiteral("OK");
    case 301:
        return QByteArrayLiteral("Moved Permanently");
    case 302:
        return QByteArrayLiteral("Found");
    case 304:
        return QByteArrayLiteral("Not Modified");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 403:
        return QByteArrayLiteral("Forbidden");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 405:
        return QByteArrayLiteral("Method Not Allowed");
    case 411:
        return QByteArrayLiteral("Length Required");
    case 413:
        return QByteArrayLiteral("Payload Too Large");
    case 431:
        return QByteArrayLiteral("Request Header Fields Too Large");
    case 500:
        return QByteArrayLiteral("Internal Server Error");
    case 501:
        return QByteArrayLiteral("Not Implemented");
    case 503:
        return QByteArrayLiteral("Service Unavailable");
    case 505:
        return QByteArrayLiteral("HTTP Version Not Supported");
    }
    return {};
}

} // namespace common
