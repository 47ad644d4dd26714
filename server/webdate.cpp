#include "server/webdate.h"

#include <array>
#include <cstdio>

namespace server {

namespace {
constexpr std::array<const char*, 7> DAYS = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 12> MONTHS = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
} // namespace

QDateTime NoDate() {
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

QDateTime LocalToUtc(const QDateTime& d) {
    return d.toUTC();
}

QString FormatWebDate(const QDateTime& d, bool isLocalTime) {
    if (!d.isValid())
        return FormatWebDate(NoDate(), false);
    const QDateTime v = isLocalTime ? LocalToUtc(d) : d;
    const QDate date = v.date();
    const QTime time = v.time();
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT",
                  DAYS[date.dayOfWeek() - 1], date.day(), MONTHS[date.month() - 1], date.year(),
                  time.hour(), time.minute(), time.second());
    return QString::fromLatin1(text);
}

} // namespace server
