#include "server/requestreader.h"

#include <algorithm>
#include <cstring>

namespace server {

namespace {
constexpr QByteArrayView CONTENT_LENGTH("Content-Length");
constexpr QByteArrayView TRANSFER_ENCODING("Transfer-Encoding");
constexpr QByteArrayView EXPECT("Expect");
constexpr QByteArrayView CONTINUE("100-continue");
constexpr QByteArrayView HTTP_SLASH("HTTP/");
constexpr int UNREADABLE = -1;

// A run of decimal digits as a number, capped at 1000; UNREADABLE when it is
// empty or holds anything else.
int versionNumber(QByteArrayView digits) {
    if (digits.isEmpty())
        return UNREADABLE;
    int n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return UNREADABLE;
        n = std::min(n * 10 + (c - '0'), 1000);
    }
    return n;
}

struct Version {
    int major = UNREADABLE;
    int minor = UNREADABLE;
};

// The version of a request line: the text after its last blank, "HTTP/" and
// "major.minor" (or a lone major, as "HTTP/2" is written).
Version requestLineVersion(QByteArrayView line) {
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank < 0 || !line.sliced(blank + 1).startsWith(HTTP_SLASH))
        return {};
    const QByteArrayView number = line.sliced(blank + 1 + HTTP_SLASH.size());
    const qsizetype dot = number.indexOf('.');
    if (dot < 0)
        return {versionNumber(number), UNREADABLE};
    const int minor = versionNumber(number.sliced(dot + 1));
    return {minor == UNREADABLE ? UNREADABLE : versionNumber(number.first(dot)), minor};
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// A field value without the blanks around it (RFC 9112 5: optional whitespace).
QByteArrayView fieldValue(QByteArrayView line, qsizetype colon) {
    QByteArrayView value = line.sliced(colon + 1);
    while (!value.isEmpty() && isBlank(value.front()))
        value = value.sliced(1);
    while (!value.isEmpty() && isBlank(value.back()))
        value.chop(1);
    return value;
}

// The body length a Content-Length value frames: decimal digits and nothing
// else (no sign, blank, hexadecimal or exponent, which another reader in front
// of us might frame otherwise); nullopt for anything else. Capped just above
// MAX_BODY_BYTES, so that any longer number is too long, never a wrapped one.
std::optional<qint64> contentLength(QByteArrayView value) {
    if (value.isEmpty())
        return std::nullopt;
    qint64 n = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = std::min(n * 10 + (c - '0'), MAX_BODY_BYTES + 1);
    }
    return n;
}
} // namespace

void RequestReader::clear() {
    *this = RequestReader();
}

bool RequestReader::expectsContinue() const {
    return m_expectContinue && m_http11 && m_isPost && m_status == RequestStatus::Incomplete;
}

RequestStatus RequestReader::append(QByteArrayView bytes, qint64 bodyBudget) {
    if (m_status != RequestStatus::Incomplete)
        return m_status;
    m_text.append(bytes);
    if (m_headerLength < 0) {
        m_status = scanHeader();
        if (m_status != RequestStatus::Incomplete || m_headerLength < 0)
            return m_status;
        m_status = checkHeaderFields(bodyBudget);
        if (m_status != RequestStatus::Incomplete)
            return m_status;
        if (m_isPost) // one allocation for the whole body, counted by the caller
            m_text.reserve(m_headerLength + m_contentLength);
    }
    m_status = bodyProgress();
    // The request is exactly its header and Content-Length bytes of body: what
    // follows is no part of it.
    if (m_status == RequestStatus::Complete)
        m_text.truncate(m_headerLength + bodyLength());
    return m_status;
}

// Line by line up to the blank line, within the first MAX_HEADER_BYTES only,
// so that the verdict never depends on how the bytes were cut into pieces.
RequestStatus RequestReader::scanHeader() {
    const char* data = m_text.constData();
    const qsizetype limit = std::min(m_text.size(), MAX_HEADER_BYTES);
    while (m_scanFrom < limit) {
        const void* found = std::memchr(data + m_scanFrom, '\n', size_t(limit - m_scanFrom));
        if (!found) {
            m_scanFrom = limit;
            break;
        }
        const qsizetype lf = static_cast<const char*>(found) - data;
        m_scanFrom = lf + 1;
        if (lf == 0 || data[lf - 1] != '\r')
            return RequestStatus::BadRequest; // a bare LF: not a line end we read
        const QByteArrayView line(data + m_lineStart, lf - 1 - m_lineStart);
        m_lineStart = lf + 1;
        if (!m_requestLineSeen) {
            m_requestLineSeen = true;
            const Version version = requestLineVersion(line);
            if (version.major >= 2)
                return RequestStatus::VersionNotSupported;
            // HTTP/0.9 has no version; "HTTP/1" names none either.
            if (version.major != 1 || version.minor == UNREADABLE)
                return RequestStatus::BadRequest;
            m_http11 = version.minor >= 1;
            continue;
        }
        if (line.isEmpty()) {
            m_headerLength = lf + 1;
            return RequestStatus::Incomplete;
        }
    }
    return m_text.size() >= MAX_HEADER_BYTES ? RequestStatus::HeaderTooLarge
                                             : RequestStatus::Incomplete;
}

RequestStatus RequestReader::checkHeaderFields(qint64 bodyBudget) {
    const bool isGet = m_text.startsWith("GET") || m_text.startsWith("OPTIONS");
    m_isPost = m_text.startsWith("POST");
    if (!isGet && !m_isPost)
        return RequestStatus::NotImplemented;

    const QByteArrayView header = QByteArrayView(m_text).first(m_headerLength - 2);
    qsizetype start = header.indexOf("\r\n") + 2;
    std::optional<qint64> length;
    bool transferCoded = false;
    while (start < header.size()) {
        const qsizetype end = header.indexOf("\r\n", start);
        const QByteArrayView line = header.sliced(start, end - start);
        start = end + 2;
        // A lone CR is a line end to some readers and none to others.
        if (line.contains('\r'))
            return RequestStatus::BadRequest;
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArrayView name = line.first(colon);
        // RFC 9112 5.1: "Transfer-Encoding : chunked" must not pass as some other field.
        if (name.isEmpty() || std::any_of(name.begin(), name.end(), isBlank))
            return RequestStatus::BadRequest;
        if (name.compare(CONTENT_LENGTH, Qt::CaseInsensitive) == 0) {
            const std::optional<qint64> bytes = contentLength(fieldValue(line, colon));
            // Two different lengths: which one frames the body is anybody's guess.
            if (!bytes || (length && *length != *bytes))
                return RequestStatus::BadRequest;
            length = bytes;
        } else if (name.compare(TRANSFER_ENCODING, Qt::CaseInsensitive) == 0) {
            transferCoded = true;
        } else if (name.compare(EXPECT, Qt::CaseInsensitive) == 0) {
            m_expectContinue = fieldValue(line, colon).compare(CONTINUE, Qt::CaseInsensitive) == 0;
        }
    }
    if (!m_isPost)
        return RequestStatus::Incomplete;
    // A body in a transfer coding has no length we could wait for.
    if (transferCoded)
        return RequestStatus::LengthRequired;
    if (length.value_or(0) > MAX_BODY_BYTES)
        return RequestStatus::BodyTooLarge;
    m_contentLength = length.value_or(0);
    return m_contentLength > bodyBudget ? RequestStatus::Unavailable : RequestStatus::Incomplete;
}

RequestStatus RequestReader::bodyProgress() const {
    if (!m_isPost)
        return RequestStatus::Complete;
    return m_text.size() - m_headerLength >= m_contentLength ? RequestStatus::Complete
                                                             : RequestStatus::Incomplete;
}

std::optional<int> RefusalOf(RequestStatus status) {
    switch (status) {
    case RequestStatus::Incomplete:
    case RequestStatus::Complete:
        return std::nullopt;
    case RequestStatus::NotImplemented:
        return 501;
    case RequestStatus::HeaderTooLarge:
        return 431;
    case RequestStatus::BodyTooLarge:
        return 413;
    case RequestStatus::BadRequest:
        return 400;
    case RequestStatus::VersionNotSupported:
        return 505;
    case RequestStatus::LengthRequired:
        return 411;
    case RequestStatus::Unavailable:
        return 503;
    }
    return std::nullopt;
}

} // namespace server
