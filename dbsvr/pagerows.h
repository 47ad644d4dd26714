#pragma once

#include "dbsvr/database.h"
#include "dbsvr/requesterror.h"

namespace dbsvr {

// About the bytes a row's values take in a reply (texts as they are, BLOBs as base64, and some
// markup per field): enough to stop a read long before its reply would pass the limit.
qint64 RowBytes(const QList<FieldValue>& values);

// Collects one page of a read: at most limit rows, noting whether another one followed. Raises
// RequestError ReplyTooLarge as soon as the rows' values pass maxBytes, so a page never holds
// more than that.
class PageRows final : public RowReceiver {
public:
    explicit PageRows(int64_t limit, qint64 maxBytes = PAGE_VALUE_BYTES);

    void columns(const QStringList& names) override { m_page.columns = names; }
    bool row(QList<FieldValue>&& values) override;

    RowPage& page() { return m_page; }

private:
    RowPage m_page;
    int64_t m_limit;
    qint64 m_maxBytes;
    qint64 m_bytes = 0;
};

// The refusal of a reply that would pass the limit.
RequestError ReplyTooLarge();
[[noreturn]] inline void FailTooLarge() {
    throw ReplyTooLarge();
}

} // namespace dbsvr
