#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <utility>

namespace server {

// Limits on what a client may send; past them the request is refused.
inline constexpr qsizetype MAX_HEADER_BYTES = 64 * 1024;     // request line and header lines
inline constexpr qint64 MAX_BODY_BYTES = 16LL * 1024 * 1024; // a POST body (Content-Length)

enum class RequestStatus {
    Incomplete,          // wait for more bytes
    Complete,            // a GET, POST or OPTIONS request to parse and answer
    NotImplemented,      // a complete header with another method
    HeaderTooLarge,      // no end of the header within MAX_HEADER_BYTES
    BodyTooLarge,        // Content-Length above MAX_BODY_BYTES
    BadRequest,          // a bare LF or CR, no HTTP/1.x version, a Content-Length that is not
                         // digits only or conflicts with another, blanks in a header name
    VersionNotSupported, // a request line of HTTP/2 or later
    LengthRequired,      // a POST whose body comes in a transfer coding (chunked)
    Unavailable,         // a POST body longer than the memory left for bodies
};

// The HTTP status of a request the reader refuses; nothing for one to answer.
std::optional<int> RefusalOf(RequestStatus status);

// Collects the bytes of one request as they arrive, in any number of pieces,
// and says when the request is complete: a GET or OPTIONS once the blank line
// is there, a POST once Content-Length bytes of body follow it (a missing
// Content-Length counts as 0). The request is exactly that: bytes after it are
// not part of it. Only the header decides the body length: a body line cannot
// stretch or cut its own body. Whatever a proxy in front of the server could
// frame otherwise (a Content-Length that is not plain digits, blanks before a
// header line's colon, a lone CR) is refused. A request that can never be
// parsed is refused as soon as the line that shows it is complete.
// Header names are matched in any letter case. Works in time linear in the
// bytes received. No socket access: bytes in, status out.
class RequestReader final {
public:
    // Adds bytes; once the status is no longer Incomplete, further bytes are
    // ignored. bodyBudget is the memory left for bodies being received: a POST
    // that declares a longer one is Unavailable, judged when its header is complete.
    RequestStatus append(QByteArrayView bytes, qint64 bodyBudget = MAX_BODY_BYTES);
    RequestStatus status() const { return m_status; }
    // Everything received up to the end of the request (the text to parse).
    const QByteArray& text() const { return m_text; }
    // Hands the text over; the status stays, so later bytes are still ignored.
    QByteArray take() { return std::exchange(m_text, {}); }
    void clear();

    // Once the header is complete: the body length a POST waits for (0 for other methods).
    bool headerComplete() const { return m_headerLength >= 0; }
    qint64 bodyLength() const { return m_isPost ? m_contentLength : 0; }
    // A POST of HTTP/1.1 or later that asked for "100 Continue" before it
    // sends a body that has not arrived yet.
    bool expectsContinue() const;

private:
    RequestStatus scanHeader();
    RequestStatus checkHeaderFields(qint64 bodyBudget);
    RequestStatus bodyProgress() const;

    QByteArray m_text;
    qsizetype m_scanFrom = 0;      // where the search for the next line end goes on
    qsizetype m_lineStart = 0;     // start of the line being scanned
    qsizetype m_headerLength = -1; // up to and including the blank line, once seen
    qint64 m_contentLength = 0;
    bool m_isPost = false;
    bool m_requestLineSeen = false;
    bool m_http11 = false; // HTTP/1.1 or a later 1.x
    bool m_expectContinue = false;
    RequestStatus m_status = RequestStatus::Incomplete;
};

} // namespace server
