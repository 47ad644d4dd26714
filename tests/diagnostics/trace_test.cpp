#include "common/error.h"
#include "common/userinterface.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using diagnostics::Diagnostics;

namespace {

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    // The log's lines after the user/computer/process line, without time stamp and counter.
    QStringList entries() const {
        QStringList lines = m_diagnostics.logText().split('\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty())
            lines.removeFirst();
        for (QString& line : lines)
            line = line.section(", ", 2);
        return lines;
    }

    QTemporaryDir m_dir;
    support::RecordedDiagnostics m_diagnostics{m_dir.path()};
};
} // namespace

TEST_F(TraceTest, OpenLogCreatesTheDailyProcessFileWithTheSystemLine) {
    const QString name = QDate::currentDate().toString("yyyyMMdd") + "-WEBSRV-" +
                         QString::number(::getpid()) + ".log";
    const QString path = m_dir.filePath("Logs/" + name);
    EXPECT_EQ(Diagnostics::instance().log()->LogFilePath(), path);
    EXPECT_EQ(Diagnostics::instance().log()->maxsize(), 100000);
    EXPECT_TRUE(support::ReadFile(path).contains(", 1, 0, 'User="));
}

TEST_F(TraceTest, DurationsAreWholeMillisecondsRoundedDown) {
    EXPECT_EQ(diagnostics::DurationText(0.0156), "15 ms");
    EXPECT_EQ(diagnostics::DurationText(0), "0 ms");
    EXPECT_EQ(diagnostics::DurationText(-0.0001), "-1 ms");
    EXPECT_EQ(diagnostics::DurationText(diagnostics::NO_DURATION), "");
    EXPECT_EQ(diagnostics::DurationText(std::nan("")), "");

    diagnostics::WriteTrace("Load translations");
    diagnostics::WriteTrace("Processing time", 0.0156);
    diagnostics::WriteTrace("Zero", 0, diagnostics::Severity::Warning);
    EXPECT_EQ(entries(), (QStringList{"0, 'Load translations'\r", "0, 'Processing time (15 ms)'\r",
                                      "1, 'Zero (0 ms)'\r"}));
    EXPECT_EQ(m_diagnostics.traces, (QStringList{"Load translations", "Processing time", "Zero"}));
    EXPECT_EQ(m_diagnostics.traceTimes, (QStringList{"", "15 ms", "0 ms"}));
}

TEST_F(TraceTest, TheRecentEntriesAreTheLastHundredOldestFirst) {
    const Diagnostics& d = Diagnostics::instance();
    EXPECT_TRUE(d.recentEntries().isEmpty());
    diagnostics::WriteTrace("Processing time", 0.0156);
    ASSERT_EQ(d.recentEntries().size(), 1);
    EXPECT_TRUE(d.recentEntries().at(0).endsWith(" Processing time (15 ms)"));
    for (int k = 1; k < 250; ++k)
        diagnostics::WriteTrace("entry " + QString::number(k));
    const QStringList entries = d.recentEntries();
    ASSERT_EQ(entries.size(), 100);
    EXPECT_TRUE(entries.first().endsWith(" entry 150")) << entries.first().toStdString();
    EXPECT_TRUE(entries.last().endsWith(" entry 249"));
    // "hh:mm:ss.zzz " in front of each.
    EXPECT_EQ(entries.last().indexOf(' '), 12);
}

TEST_F(TraceTest, TracingWithoutALogRaises) {
    Diagnostics::instance().setLog(nullptr);
    EXPECT_THROW(diagnostics::WriteTraceOrRaise("nowhere"), common::Error);
    EXPECT_TRUE(m_diagnostics.traces.isEmpty());
}

TEST_F(TraceTest, ThePlainTraceNeverRaisesAndLosesOnlyWhatCannotBeWritten) {
    diagnostics::Log* log = Diagnostics::instance().log();
    log->setFolder(m_dir.filePath("gone"));
    EXPECT_NO_THROW(diagnostics::WriteTrace("lost", diagnostics::Severity::Warning));
    EXPECT_NO_THROW(diagnostics::WriteTrace("lost too", 0.5));
    EXPECT_EQ(log->lost(), 2);
    EXPECT_TRUE(m_diagnostics.traces.isEmpty()); // the sink shows only what the log holds
    EXPECT_THROW(diagnostics::WriteTraceOrRaise("asked"), common::Error);

    log->setFolder(m_dir.filePath("Logs"));
    diagnostics::WriteTrace("back", diagnostics::Severity::Warning);
    EXPECT_EQ(entries(),
              (QStringList{"1, 'Log entries lost while the log could not be written: 3'\r",
                           "1, 'back'\r"}));
    EXPECT_EQ(m_diagnostics.traces, QStringList{"back"});

    Diagnostics::instance().setLog(nullptr);
    EXPECT_NO_THROW(diagnostics::WriteTrace("nowhere"));
    EXPECT_EQ(m_diagnostics.traces, QStringList{"back"});
}

TEST_F(TraceTest, NotifyUserShowsOnlyWhenInteractiveButAlwaysLogs) {
    const support::RecordingInterface& ui = m_diagnostics.ui;
    EXPECT_EQ(diagnostics::NotifyUser("Shown", common::MB_YES_NO_CANCEL), common::ANSWER_YES);
    EXPECT_EQ(ui.shown, QStringList{"51|Shown"});
    EXPECT_EQ(ui.titles, QStringList{"Quorvex (1.0.202)"});

    Diagnostics::instance().setInteractive(false);
    EXPECT_EQ(diagnostics::NotifyUser("Hidden", common::MB_WARNING), common::ANSWER_NONE);
    Diagnostics::instance().setInteractive(true);
    Diagnostics::instance().setUserInterface(nullptr);
    EXPECT_EQ(diagnostics::NotifyUser("Nobody", common::MB_ERROR), common::ANSWER_NONE);

    EXPECT_EQ(ui.shown.size(), 1);
    EXPECT_EQ(entries(), (QStringList{"0, 'Shown'\r", "0, 'Hidden'\r", "0, 'Nobody'\r"}));
}

TEST_F(TraceTest, AppErrorHandlerLogsTheDescriptionAndCloses) {
    int closed = 0;
    Diagnostics::instance().setCloseServer([&closed] { ++closed; });
    Diagnostics::instance().setLanguageCode("fr");
    diagnostics::AppErrorHandler({}, common::ERR_LANGUAGE, "Error loading language file: /l/fr");
    diagnostics::AppErrorHandler("ignored", 5, "Plain it's");
    EXPECT_EQ(closed, 2);

    // Only an error 1100 gets the sentence about the translation file, in the same entry.
    const QString log = m_diagnostics.logText();
    EXPECT_TRUE(log.contains(", 2, 'The application was unable to load the translation file for "
                             "the specified language ''fr''.\r\nError loading language file: "
                             "/l/fr'\r\n"))
        << log.toStdString();
    EXPECT_TRUE(log.contains(", 2, 'Plain it''s'\r\n"));
    EXPECT_EQ(log.count("translation file"), 1);
}

TEST_F(TraceTest, AppErrorHandlerClosesEvenWhenTheLogFails) {
    int closed = 0;
    Diagnostics::instance().setCloseServer([&closed] { ++closed; });
    Diagnostics::instance().setLog(nullptr);
    EXPECT_NO_THROW(diagnostics::AppErrorHandler({}, 1000, "disk gone"));
    EXPECT_EQ(closed, 1);
}
