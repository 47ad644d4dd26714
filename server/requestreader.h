#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <utility>

namespace server {

// Limits on what a client may send; past them the request is refused.
inline constexpr qsizetype MAX_HEADER_BYTES = 64 * 1024;     // request line and header lines
inline constexpr qint64 MAX_BODY_BYTES = 16LL * 1024 * 1024; // a POST body (Content-Length)

enum class RequestStatus {
    Incomplete,     // wait for more bytes
    Complete,       // a GET, POST or OPTIONS request to parse and answer
    NotImplemented, // a complete header with another method
    HeaderTooLarge, // no end of the header within MAX_HEADER_BYTES
    BodyTooLarge,   // Content-Length above MAX_BODY_BYTES
};

// Collects the bytes of one request as they arrive, in any number of pieces,
// and says when the request is complete: a GET or OPTIONS once the blank line
// is there, a POST once Content-Length bytes of body follow it (a missing or
// unreadable Content-Length counts as 0). Only the header decides the body
// length: a body line cannot stretch or cut its own body. Works in time linear
// in the bytes received. No socket access: bytes in, status out.
class RequestReader final {
public:
    // Adds bytes; once the status is no longer Incomplete, further bytes are ignored.
    RequestStatus append(QByteArrayView bytes);
    RequestStatus status() const { return m_status; }
    // Everything received up to the end of the request (the text to parse).
    const QByteArray& text() const { return m_text; }
    // Hands the text over; the status stays, so later bytes are still ignored.
    QByteArray take() { return std::exchange(m_text, {}); }
    void clear();

private:
    RequestStatus headerComplete();
    RequestStatus bodyProgress() const;

    QByteArray m_text;
    qsizetype m_scanFrom = 0;      // where the search for the blank line goes on
    qsizetype m_headerLength = -1; // up to and including the blank line, once seen
    qint64 m_contentLength = 0;
    bool m_isPost = false;
    RequestStatus m_status = RequestStatus::Incomplete;
};

// The Content-Length of a header section the way the request parser reads it
// (the last such line wins; missing or unreadable gives 0); nullopt when its
// number passes MAX_BODY_BYTES.
std::optional<qint64> HeaderContentLength(QByteArrayView header);

} // namespace server
