#pragma once

#include "common/response.h"
#include "server/httpconfig.h"

#include <QDateTime>

namespace server {

class DatedLines;

// The answers the HTTP layer builds itself. Every one but the interim "100 Continue" ends its
// header with "Connection: close": a connection carries one request, and HTTP/1.1 clients
// must not reuse it.

// The interim answer to "Expect: 100-continue": send the body now.
common::Response ContinueAnswer();

// "HTTP/1.1 405 Method Not Allowed" and "Connection: close", no body (OPTIONS).
common::Response MethodNotAllowedAnswer();

// An answer of the web application as it goes out: a page body gets the "200 OK" head of
// dynamic pages in front (Server, Date, Content-Type text/html, Accept-Ranges, Expires with
// CacheExpiresDynamic, Content-Length, the header lines the page carries (its cookies),
// X-Frame-Options SAMEORIGIN and X-Content-Type-Options nosniff, then Connection), from lines
// refreshed for the moment of the answer; a complete answer goes out as it is.
common::Response DynamicPageAnswer(common::Response page, const DatedLines& lines);

// The server's own answer to a request it refuses or fails on, e.g. 400 "Bad Request": a
// short HTML page, and "Connection: close" because the rest of the request may never be read.
common::Response ErrorAnswer(int status, const HttpConfig& config, const QDateTime& now);

// "301 Moved Permanently" to location, the HTTPS address of what was asked for over HTTP.
common::Response HttpsRedirectAnswer(const QByteArray& location, const HttpConfig& config,
                                     const QDateTime& now);

// ErrorAnswer 503 for a request refused because too many are being answered: its
// "Retry-After" tells the client when to ask again.
common::Response BusyAnswer(const HttpConfig& config, const QDateTime& now);

// How far CacheExpiresStatic and CacheExpiresDynamic may move a date: about a century.
inline constexpr double MAX_ADDED_DAYS = 36525.0;

// d plus a possibly fractional number of days, bounded to +-MAX_ADDED_DAYS
// (not a number counts as 0).
QDateTime AddDays(const QDateTime& d, double days);

} // namespace server
