#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstddef>

namespace diagnostics {

// The last RECENT_TRACE_SIZE trace entries, for the administration page. Every
// request reads them, so reading only shares the stored texts; adding formats one.
class RecentTrace final {
public:
    static constexpr size_t RECENT_TRACE_SIZE = 100;

    // line: the entry as logged (text and duration); msecsOfDay: its local time of day.
    void add(const QString& line, int msecsOfDay);
    // "hh:mm:ss.zzz text", oldest first.
    QStringList entries() const;
    void clear();

private:
    std::array<QString, RECENT_TRACE_SIZE> m_ring;
    size_t m_next = 0;  // where the next entry goes
    size_t m_count = 0; // how many of the ring hold entries
};

} // namespace diagnostics
