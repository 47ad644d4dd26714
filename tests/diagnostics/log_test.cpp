#include "common/error.h"
#include "common/files.h"
#include "diagnostics/localclock.h"
#include "diagnostics/log.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <time.h>

using common::Value;
using diagnostics::Log;

namespace {
const QDateTime NOON(QDate(2026, 12, 7), QTime(12, 42, 20));
const QByteArray STAMP = "'2026-12-07 12:42:20'";
using support::ReadFile;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        configure(m_log);
    }
    // Daily files "yyyyMMdd.log" in the test's folder, on the test's clock.
    void configure(Log& log) {
        log.setFolder(m_dir.path());
        log.setPostfix(".log");
        log.setClock([this] { return m_now; });
    }
    QString path() { return m_log.LogFilePath(); }

    QTemporaryDir m_dir;
    Log m_log;
    QDateTime m_now = NOON;
};
} // namespace

TEST_F(LogTest, LinesQuoteFieldsDoubleApostrophesAndUseTheCodePage) {
    m_log.LogEntry(0, QStringLiteral("it's done"));
    m_log.LogEntry(2, Value::Array{"a", "", int32_t(5), QString::fromUtf8("5 €")});
    m_log.LogEntry(1, Value());
    EXPECT_EQ(ReadFile(m_dir.filePath("20261207.log")), STAMP + ", 1, 0, 'it''s done'\r\n" + STAMP +
                                                            ", 2, 2, 'a', '', '5', '5 \x80'\r\n" +
                                                            STAMP + ", 3, 1, ''\r\n");
}

TEST_F(LogTest, FileNameHasTheProcessIdWhereverPidStands) {
    m_log.setPrefix("P%PID%-");
    m_log.setPostfix("-WEBSRV-%PID%-%PID%.log");
    const QString pid = QString::number(m_log.processId());
    m_log.LogSysEntry();
    const QString name = "P" + pid + "-20261207-WEBSRV-" + pid + "-" + pid + ".log";
    EXPECT_EQ(path(), m_dir.filePath(name));
    EXPECT_EQ(ReadFile(m_dir.filePath(name)),
              STAMP + ", 1, 0, 'User=" + common::CurrentUserName().toLatin1() + ", Computer=" +
                  common::ComputerName().toLatin1() + ", Process=" + pid.toLatin1() + "'\r\n");
}

TEST_F(LogTest, MidnightStartsANewFileAndTheCounterGoesOn) {
    m_now = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59));
    m_log.LogEntry(0, "before");
    m_now = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0));
    m_log.LogEntry(0, "after");
    EXPECT_EQ(ReadFile(m_dir.filePath("20261207.log")),
              "'2026-12-07 23:59:59', 1, 0, 'before'\r\n");
    EXPECT_EQ(ReadFile(m_dir.filePath("20261208.log")), "'2026-12-08 00:00:00', 2, 0, 'after'\r\n");
}

TEST_F(LogTest, AFileRemovedBehindItsBackIsCreatedAgain) {
    m_log.LogEntry(0, "one");
    ASSERT_TRUE(QFile::remove(path()));
    m_log.LogEntry(0, "two");
    EXPECT_EQ(ReadFile(path()), STAMP + ", 2, 0, 'two'\r\n");
}

TEST_F(LogTest, CutsOnlyFromMaxsizePlusTwoBytesToTheLastWholeLines) {
    m_log.setMaxsize(100000);
    const QByteArray entry = STAMP + ", 1, 0, 'entry'\r\n";
    QByteArray filler;
    for (int i = 0; filler.size() < 100001; ++i)
        filler += "line " + QByteArray::number(i) + " " + QByteArray(40, 'x') + "\r\n";

    // Brought to exactly maxsize + 1 bytes: left alone.
    const QByteArray notCut = filler.left(100001 - entry.size());
    ASSERT_TRUE(support::WriteFile(path(), notCut));
    m_log.LogEntry(0, "entry");
    EXPECT_EQ(ReadFile(path()), notCut + entry);

    // Brought to maxsize + 2: only the lines wholly within the last 80001 bytes stay.
    Log second;
    configure(second);
    second.setMaxsize(100000);
    const QByteArray whole = filler.left(100002 - entry.size()) + entry;
    ASSERT_TRUE(support::WriteFile(path(), whole.left(whole.size() - entry.size())));
    second.LogEntry(0, "entry");
    QByteArray kept = whole.right(80001);
    kept.remove(0, kept.indexOf("\r\n") + 2);
    EXPECT_EQ(ReadFile(path()), kept);
    EXPECT_LE(kept.size(), 80001);

    // The entry after a cut lands in the new file.
    second.LogEntry(0, "next");
    EXPECT_EQ(ReadFile(path()), kept + STAMP + ", 2, 0, 'next'\r\n");
}

TEST_F(LogTest, NoLimitLetsTheFileGrow) {
    ASSERT_TRUE(support::WriteFile(path(), QByteArray(200000, 'x')));
    m_log.LogEntry(0, "entry");
    EXPECT_EQ(ReadFile(path()).size(), 200000 + STAMP.size() + 17);
}

TEST_F(LogTest, ALargeLimitCutsWithoutOverflow) {
    // 80 % of this limit does not fit 32 bits once multiplied by 80.
    m_log.setMaxsize(30000000);
    const QByteArray line = QByteArray(98, 'x') + "\r\n";
    ASSERT_TRUE(support::WriteFile(path(), line.repeated(300000)));
    m_log.LogEntry(0, "entry");
    const QByteArray entry = STAMP + ", 1, 0, 'entry'\r\n";
    EXPECT_EQ(ReadFile(path()), line.repeated(239999) + entry);
}

TEST_F(LogTest, FailuresNameThePathAndAreCountedThenNamedOnce) {
    m_log.setFolder(m_dir.filePath("missing"));
    EXPECT_FALSE(m_log.isOpen());
    try {
        m_log.LogEntry(0, "lost");
        FAIL() << "no error";
    } catch (const common::Error& e) {
        EXPECT_EQ(e.number(), common::ERR_PROGRAM);
        EXPECT_TRUE(e.description().startsWith("Error in " + path() + ". Unable to open"))
            << e.description().toStdString();
    }
    EXPECT_EQ(m_log.counter(), 1);

    m_log.setFolder(m_dir.path());
    EXPECT_TRUE(m_log.isOpen());
    m_log.LogEntry(0, "kept");
    m_log.LogEntry(0, "next");
    EXPECT_EQ(ReadFile(path()),
              STAMP + ", 2, 1, 'Log entries lost while the log could not be written: 1'\r\n" +
                  STAMP + ", 3, 0, 'kept'\r\n" + STAMP + ", 4, 0, 'next'\r\n");
}

TEST_F(LogTest, AnEmptyFolderBecomesTheProgramFolderForGood) {
    QTemporaryDir program;
    common::SetProgramFolder(program.path());
    Log log;
    log.setPostfix(".log");
    log.setClock([this] { return m_now; });
    log.LogEntry(0, "here");
    common::SetProgramFolder({});
    EXPECT_EQ(log.folder(), program.path());
    EXPECT_TRUE(QFile::exists(program.filePath("20261207.log")));
}

TEST(LocalClockTest, AgreesWithTheZoneAlsoAtOffsetsOfHalfAnHour) {
    const QByteArray saved = qgetenv("TZ");
    for (const char* zone : {"UTC", "Asia/Kolkata", "America/St_Johns"}) {
        qputenv("TZ", zone);
        ::tzset();
        diagnostics::LocalClock clock; // a new one: it keeps the second it looked up
        const QDateTime before = QDateTime::currentDateTime();
        const diagnostics::LocalTime now = clock.now();
        const QDateTime after = QDateTime::currentDateTime();
        const auto wholeSecond = [](const QDateTime& d) { return d.addMSecs(-d.time().msec()); };
        EXPECT_GE(now.second, wholeSecond(before)) << zone;
        EXPECT_LE(now.second, wholeSecond(after)) << zone;
        EXPECT_EQ(now.second.toSecsSinceEpoch(), now.epochSecond) << zone;
        if (before.date() == after.date()) {
            EXPECT_GE(now.msecsOfDay, before.time().msecsSinceStartOfDay()) << zone;
            EXPECT_LE(now.msecsOfDay, after.time().msecsSinceStartOfDay()) << zone;
        }
    }
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);
    ::tzset();
}
