#include "common/webdate.h"
#include "server/contenttype.h"

#include <QTimeZone>
#include <gtest/gtest.h>

using common::FormatWebDate;
using server::GetContentType;

namespace {
QDateTime at(int y, int mo, int d, int h, int mi, int s, const QTimeZone& zone = QTimeZone::utc()) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), zone);
}
} // namespace

TEST(WebDate, FieldsAreShownUnconvertedWithoutTheLocalFlag) {
    EXPECT_EQ(FormatWebDate(at(2026, 12, 7, 12, 42, 21), false), "Mon, 07 Dec 2026 12:42:21 GMT");
    EXPECT_EQ(FormatWebDate(at(2027, 1, 5, 9, 5, 3), false), "Tue, 05 Jan 2027 09:05:03 GMT");
    EXPECT_EQ(FormatWebDate(at(2027, 1, 5, 0, 0, 0), false), "Tue, 05 Jan 2027 00:00:00 GMT");
    EXPECT_EQ(FormatWebDate(common::NoDate(), false), "Sat, 30 Dec 1899 00:00:00 GMT");
    EXPECT_EQ(FormatWebDate(QDateTime(), true), "Sat, 30 Dec 1899 00:00:00 GMT");
    // Fractions of a second are not shown, and never rounded up.
    EXPECT_EQ(FormatWebDate(at(2026, 12, 7, 12, 42, 21).addMSecs(999), false),
              "Mon, 07 Dec 2026 12:42:21 GMT");
}

TEST(WebDate, LocalTimesUseTheOffsetInForceAtTheirOwnDate) {
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    // Winter: one hour east of UTC; summer: two. A single offset for both would
    // put Last-Modified an hour off for half of the year.
    EXPECT_EQ(FormatWebDate(at(2026, 12, 7, 12, 42, 21, berlin), true),
              "Mon, 07 Dec 2026 11:42:21 GMT");
    EXPECT_EQ(FormatWebDate(at(2026, 7, 15, 12, 0, 0, berlin), true),
              "Wed, 15 Jul 2026 10:00:00 GMT");
    // Just after midnight moves to the previous day, month and year.
    EXPECT_EQ(FormatWebDate(at(2027, 1, 1, 0, 30, 0, berlin), true),
              "Thu, 31 Dec 2026 23:30:00 GMT");
    // A date already in UTC stays as it is.
    EXPECT_EQ(FormatWebDate(at(2026, 7, 15, 12, 0, 0), true), "Wed, 15 Jul 2026 12:00:00 GMT");
}

TEST(WebDate, ProcessLocalTimeFollowsTheTimeZoneOfTheDate) {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const QDateTime summer(QDate(2026, 7, 15), QTime(12, 0), Qt::LocalTime);
    const QDateTime winter(QDate(2026, 1, 15), QTime(12, 0), Qt::LocalTime);
    const QString summerText = FormatWebDate(summer, true);
    const QString winterText = FormatWebDate(winter, true);
    if (oldTz.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", oldTz);
    EXPECT_EQ(summerText, "Wed, 15 Jul 2026 10:00:00 GMT");
    EXPECT_EQ(winterText, "Thu, 15 Jan 2026 11:00:00 GMT");
}

TEST(ContentType, LooksUpTheTextAfterTheLastDotCaseSensitively) {
    EXPECT_EQ(server::ContentTypeCount(), 160);
    EXPECT_EQ(GetContentType("/srv/www/index.htm"), "text/html");
    EXPECT_EQ(GetContentType("/srv/www/index.html"), "text/html");
    EXPECT_EQ(GetContentType("/srv/www/INDEX.HTM"), "");
    EXPECT_EQ(GetContentType("a.Gif"), "");
    for (const char* name : {"a.jpe", "a.jpeg", "a.jpg"})
        EXPECT_EQ(GetContentType(name), "image/jpeg") << name;
    EXPECT_EQ(GetContentType("a.xml"), "text/xml");
    EXPECT_EQ(GetContentType("a.css"), "text/css");
    EXPECT_EQ(GetContentType("a.js"), "application/x-javascript");
    EXPECT_EQ(GetContentType("a.step"), "application/STEP");
    EXPECT_EQ(GetContentType("a.stl"), "application/SLA");
    EXPECT_EQ(GetContentType("a.tsi"), "audio/TSP-audio");
    EXPECT_EQ(GetContentType("a.rm"), "audio/x-pn-realaudio");
    EXPECT_EQ(GetContentType("a.rpm"), "audio/x-pn-realaudio-plugin");
    EXPECT_EQ(GetContentType("a.ice"), "x-conference/x-cooltalk");
    EXPECT_EQ(GetContentType("archive.tar.gz"), "application/x-gzip");
    EXPECT_EQ(GetContentType("a.ico"), "");
    EXPECT_EQ(GetContentType("a.json"), "");
    EXPECT_EQ(GetContentType("name."), "");
    // Without a dot the whole name is the extension; a dot in a folder counts.
    EXPECT_EQ(GetContentType("zip"), "application/zip");
    EXPECT_EQ(GetContentType("/srv/old.files/readme"), "");
    EXPECT_EQ(GetContentType(""), "");
}
