#pragma once

#include "dbsvr/database.h"

#include <QDeadlineTimer>

namespace dbsvr {

class ReplySink;

// Sends the rows of an export as they are read, as the parts of its reply: each part a Rows
// reply of at most MAX_LIMIT rows and about PART_BYTES of values (a larger row goes alone, up to
// what a reply may hold), every part but the last with <Continued>true</Continued>. The last
// part's More tells whether rows were left beyond the export's limit. So neither side ever holds
// more than a part or two, whatever the export's size.
class ExportParts final : public RowReceiver {
public:
    static constexpr qint64 PART_BYTES = 1024 * 1024;

    // nameElement and name: the <Table> or <Name> every part carries. paging: where the export
    // starts and the most rows it holds. Once timeLimitMs have passed, a row raises RequestError
    // TimeLimit.
    ExportParts(ReplySink& sink, const char* nameElement, QString name, const Paging& paging,
                int timeLimitMs);

    void columns(const QStringList& names) override { m_part.columns = names; }
    // The columns the last values of each row label (RowPage::labelled).
    void labelled(const QStringList& columns) { m_part.labelled = columns; }
    bool row(QList<FieldValue>&& values) override;
    // Sends what is left as the last part.
    void finish() { send(true); }

    const QDeadlineTimer& deadline() const { return m_deadline; }
    // The refusal of an export that ran out of its time.
    [[noreturn]] void failTimeLimit() const;

private:
    void send(bool last);

    ReplySink& m_sink;
    const char* m_nameElement;
    QString m_name;
    Paging m_paging;
    int m_timeLimitMs;
    QDeadlineTimer m_deadline;
    RowPage m_part;
    qint64 m_partBytes = 0;
    int64_t m_sent = 0; // rows in the parts sent so far
};

} // namespace dbsvr
