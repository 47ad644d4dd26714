#include "common/webdate.h"

#include <array>

namespace common {

namespace {
constexpr std::array<const char*, 7> DAYS = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::array<const char*, 12> MONTHS = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Three of these go into every answer: plain appends, no format parsing.
void appendTwoDigits(QString& text, int value) {
    text += QLatin1Char(char('0' + value / 10));
    text += QLatin1Char(char('0' + value % 10));
}
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
    QString text;
    text.reserve(32);
    text += QLatin1String(DAYS[date.dayOfWeek() - 1]);
    text += QLatin1String(", ");
    appendTwoDigits(text, date.day());
    text += QLatin1Char(' ');
    text += QLatin1String(MONTHS[date.month() - 1]);
    text += QLatin1Char(' ');
    text += QString::number(date.year());
    text += QLatin1Char(' ');
    appendTwoDigits(text, time.hour());
    text += QLatin1Char(':');
    appendTwoDigits(text, time.minute());
    text += QLatin1Char(':');
    appendTwoDigits(text, time.second());
    text += QLatin1String(" GMT");
    return text;
}

} // namespace common
