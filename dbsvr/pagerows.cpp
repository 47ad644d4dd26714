#include "dbsvr/pagerows.h"

namespace dbsvr {

namespace {
constexpr qint64 FIELD_MARKUP_BYTES = 32;
}

qint64 RowBytes(const QList<FieldValue>& values) {
    qint64 bytes = 0;
    for (const FieldValue& value : values) {
        bytes += FIELD_MARKUP_BYTES;
        if (const auto* text = std::get_if<QString>(&value))
            bytes += text->size();
        else if (const auto* blob = std::get_if<QByteArray>(&value))
            bytes += (blob->size() + 2) / 3 * 4;
    }
    return bytes;
}

RequestError ReplyTooLarge() {
    return {QString::fromLatin1(ERROR_REPLY_TOO_LARGE),
            QStringLiteral("The rows asked for come to more than %1 MiB, the most one reply may "
                           "hold; ask for fewer rows at a time.")
                .arg(components::MAX_REPLY_BYTES / (1024 * 1024))};
}

PageRows::PageRows(int64_t limit, qint64 maxBytes) : m_limit(limit), m_maxBytes(maxBytes) {}

bool PageRows::row(QList<FieldValue>&& values) {
    if (m_page.rows.size() >= m_limit) {
        m_page.more = true;
        return false;
    }
    m_bytes += RowBytes(values);
    if (m_bytes > m_maxBytes)
        FailTooLarge();
    m_page.rows << std::move(values);
    return true;
}

} // namespace dbsvr
