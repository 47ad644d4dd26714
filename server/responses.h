#pragma once

#include "server/httpconfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace server {

// Answers built from text; every one comes out as bytes in Windows-1252, so a
// Content-Length always counts the bytes that go on the wire.

// "HTTP/1.1 405 Method Not Allowed" and the blank line, nothing else (OPTIONS).
QByteArray MethodNotAllowedAnswer();

// The fixed answer to a dynamic request while the data server is down.
QByteArray DataServerNotRunningAnswer();

// A page of the web application. Sent unchanged when it starts with its own
// status line ("HTTP/1." in any case); otherwise a "200 OK" header goes in front.
QByteArray DynamicPageAnswer(const QString& pageText, const HttpConfig& config,
                             const QDateTime& now);

// The server's own answer to a request it refuses or fails on, e.g. 400
// "Bad Request": a short HTML page, and "Connection: close" because the rest of
// the request may never be read.
QByteArray ErrorAnswer(int status, const QString& reason, const HttpConfig& config,
                       const QDateTime& now);

// d plus a possibly fractional number of days.
QDateTime AddDays(const QDateTime& d, double days);

} // namespace server
