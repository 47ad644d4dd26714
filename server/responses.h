#pragma once

#include "server/httpconfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace server {

class DatedLines;

// Answers built from text; every one comes out as bytes in Windows-1252, so a
// Content-Length always counts the bytes that go on the wire.

// Every answer the server builds ends its header with "Connection: close": a
// connection carries one request, and HTTP/1.1 clients must not reuse it.

// The interim answer to "Expect: 100-continue": send the body now.
QByteArray ContinueAnswer();

// "HTTP/1.1 405 Method Not Allowed" and "Connection: close", no body (OPTIONS).
QByteArray MethodNotAllowedAnswer();

// A page of the web application. Sent unchanged when it starts with its own
// status line ("HTTP/1." in any case); otherwise a "200 OK" header goes in front,
// with lines refreshed for the moment of the answer and CacheExpiresDynamic.
QByteArray DynamicPageAnswer(const QString& pageText, const DatedLines& lines);

// The server's own answer to a request it refuses or fails on, e.g. 400
// "Bad Request": a short HTML page, and "Connection: close" because the rest of
// the request may never be read.
QByteArray ErrorAnswer(int status, const QString& reason, const HttpConfig& config,
                       const QDateTime& now);

// How far CacheExpiresStatic and CacheExpiresDynamic may move a date: about a century.
inline constexpr double MAX_ADDED_DAYS = 36525.0;

// d plus a possibly fractional number of days, bounded to +-MAX_ADDED_DAYS
// (not a number counts as 0).
QDateTime AddDays(const QDateTime& d, double days);

} // namespace server
