#include "server/requestreader.h"

#include "common/text.h"

namespace server {

namespace {
constexpr QByteArrayView BLANK_LINE("\r\n\r\n");
constexpr QByteArrayView CONTENT_LENGTH("Content-Length");
} // namespace

std::optional<qint64> HeaderContentLength(QByteArrayView header) {
    QByteArrayView value;
    bool found = false;
    qsizetype start = 0;
    while (start < header.size()) {
        qsizetype end = header.indexOf(QByteArrayView("\r\n"), start);
        if (end < 0)
            end = header.size();
        const QByteArrayView line = header.sliced(start, end - start);
        const qsizetype colon = line.indexOf(':');
        if (colon >= 0 && line.first(colon) == CONTENT_LENGTH) {
            value = colon + 2 <= line.size() ? line.sliced(colon + 2) : QByteArrayView();
            found = true;
        }
        start = end + 2;
    }
    if (!found)
        return 0;
    // A number too large for ToLong would read as 0 and let the body through
    // unbounded: refuse it instead.
    bool ok = false;
    const double number = value.toByteArray().trimmed().toDouble(&ok);
    if (ok && number > double(MAX_BODY_BYTES))
        return std::nullopt;
    return common::ToLong(QString::fromLatin1(value));
}

void RequestReader::clear() {
    *this = RequestReader();
}

RequestStatus RequestReader::append(QByteArrayView bytes) {
    if (m_status != RequestStatus::Incomplete)
        return m_status;
    m_text.append(bytes);
    if (m_headerLength < 0) {
        // The blank line may straddle the previous piece and this one.
        const qsizetype blank = m_text.indexOf(BLANK_LINE, std::max<qsizetype>(0, m_scanFrom - 3));
        if (blank < 0) {
            m_scanFrom = m_text.size();
            if (m_text.size() > MAX_HEADER_BYTES)
                m_status = RequestStatus::HeaderTooLarge;
            return m_status;
        }
        m_headerLength = blank + BLANK_LINE.size();
        m_status = headerComplete();
        if (m_status != RequestStatus::Incomplete)
            return m_status;
    }
    m_status = bodyProgress();
    return m_status;
}

RequestStatus RequestReader::headerComplete() {
    if (m_headerLength > MAX_HEADER_BYTES)
        return RequestStatus::HeaderTooLarge;
    if (m_text.startsWith("GET") || m_text.startsWith("OPTIONS"))
        return RequestStatus::Complete;
    if (!m_text.startsWith("POST"))
        return RequestStatus::NotImplemented;
    m_isPost = true;
    const auto length = HeaderContentLength(QByteArrayView(m_text).first(m_headerLength));
    if (!length)
        return RequestStatus::BodyTooLarge;
    m_contentLength = *length;
    return RequestStatus::Incomplete;
}

RequestStatus RequestReader::bodyProgress() const {
    if (!m_isPost)
        return RequestStatus::Complete;
    return m_text.size() - m_headerLength >= m_contentLength ? RequestStatus::Complete
                                                             : RequestStatus::Incomplete;
}

} // namespace server
