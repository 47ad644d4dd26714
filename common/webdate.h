#pragma once

#include <QDateTime>
#include <QString>

namespace common {

// The HTTP date text of every answer, whoever builds it, RFC 1123 form with English names whatever
// the locale: "Mon, 07 Dec 2026 12:42:21 GMT" (whole seconds). With isLocalTime the value is
// converted to UTC with the zone offset in force at that date (not today's); without it, the
// value's own date and time fields are shown unconverted. An invalid value is shown as the date
// that holds no date, NoDate().
QString FormatWebDate(const QDateTime& d, bool isLocalTime);

// The UTC time of the instant d (local times use the offset of their own date).
QDateTime LocalToUtc(const QDateTime& d);

// 30 December 1899, midnight: the date value that holds no date, shown where an
// answer has a date line but no file date (Sat, 30 Dec 1899 00:00:00 GMT).
QDateTime NoDate();

} // namespace common
