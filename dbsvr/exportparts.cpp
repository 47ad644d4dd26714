#include "dbsvr/exportparts.h"

#include "contract/protocol.h"
#include "dbsvr/pagerows.h"
#include "dbsvr/replysink.h"
#include "dbsvr/replyxml.h"
#include "dbsvr/requesterror.h"

namespace dbsvr {

namespace protocol = dataserver::protocol;

ExportParts::ExportParts(ReplySink& sink, const char* nameElement, QString name,
                         const Paging& paging, int timeLimitMs)
    : m_sink(sink), m_nameElement(nameElement), m_name(std::move(name)), m_paging(paging),
      m_timeLimitMs(timeLimitMs), m_deadline(timeLimitMs) {}

void ExportParts::failTimeLimit() const {
    Fail(ERROR_TIME_LIMIT,
         QStringLiteral("The export took longer than %1 s and was stopped after %2 rows; "
                        "filter it to fewer rows.")
             .arg(m_timeLimitMs / 1000.0)
             .arg(m_sent + m_part.rows.size()));
}

bool ExportParts::row(QList<FieldValue>&& values) {
    if (m_deadline.hasExpired())
        failTimeLimit();
    if (m_sent + m_part.rows.size() >= m_paging.limit) {
        m_part.more = true; // one row beyond the limit: the export is cut there
        return false;
    }
    const qint64 bytes = RowBytes(values);
    if (bytes > PAGE_VALUE_BYTES)
        FailTooLarge();
    if (!m_part.rows.isEmpty() &&
        (m_part.rows.size() >= MAX_LIMIT || m_partBytes + bytes > PART_BYTES))
        send(false);
    m_part.rows << std::move(values);
    m_partBytes += bytes;
    return true;
}

void ExportParts::send(bool last) {
    pugi::xml_document reply;
    pugi::xml_node root = reply.append_child(protocol::ROOT);
    root.append_child(protocol::TYPE).text().set(protocol::ROWS);
    root.append_child(protocol::ERROR);
    root.append_child(protocol::MESSAGE);
    AddText(root, m_nameElement, m_name);
    m_part.more = m_part.more || !last;
    AddPage(root, m_part, {m_paging.offset + m_sent, m_paging.limit});
    if (!last)
        AddText(root, protocol::CONTINUED, BoolText(true));
    m_sent += m_part.rows.size();
    m_part.rows.clear();
    m_part.more = false;
    m_partBytes = 0;
    const QByteArray text = Serialize(reply);
    if (text.size() > components::MAX_REPLY_BYTES)
        FailTooLarge();
    if (!m_sink.sendPart(text, m_deadline))
        failTimeLimit();
}

} // namespace dbsvr
