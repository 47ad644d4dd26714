#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace webapp {

// What a page produces, before it becomes the component's answer.
struct Response {
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/html; charset=utf-8");
    QByteArray body;                              // bytes as sent
    QList<QPair<QByteArray, QByteArray>> headers; // extra header lines, in order
    QString redirect; // non-empty: the web server answers 302 with this address

    static Response page(const QString& html, int status = 200);
    static Response redirectTo(const QString& address);

    // The component's answer: a plain page body (behind the web server's own "200 OK"
    // header) when nothing else is needed, otherwise a complete answer with every header
    // line, "Content-Length" in bytes and "Connection: close". One character per byte.
    QString answer() const;
};

// "Not Found" for 404 and so on; "" for codes the component never sends.
QByteArray ReasonPhrase(int status);

} // namespace webapp
