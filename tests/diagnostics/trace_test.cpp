#include "common/error.h"
#include "common/userinterface.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using diagnostics::Diagnostics;

namespace {
// Records what would have been shown and answers as told.
class RecordingInterface final : public common::UserInterface {
public:
    int messageBox(const QString& text, int style, const QString& title) override {
        shown.append(text + "|" + QString::number(style) + "|" + title);
        return answer;
    }
    bool showSettingsDialog() override { return false; }
    bool openUrl(const QString&) override { return false; }
    void windowStateChanged() override {}

    QStringList shown;
    int answer = common::ANSWER_YES;
};

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        Diagnostics::instance().reset();
        i18n::UnloadLanguage();
        diagnostics::OpenLog(m_dir.path());
        Diagnostics::instance().setTraceSink(
            [this](const QString& text, const QString& time) { m_rows.append(text + "|" + time); });
    }
    void TearDown() override {
        Diagnostics::instance().reset();
        i18n::UnloadLanguage();
    }
    // The log's lines after the user/computer/process line, without time stamp
    // and counter.
    QStringList entries() {
        QFile f(Diagnostics::instance().log()->LogFilePath());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList out;
        const QList<QByteArray> lines = f.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            if (lines[i].isEmpty())
                continue;
            const QString line = QString::fromLatin1(lines[i]);
            out.append(line.section(", ", 2));
        }
        return out;
    }

    QTemporaryDir m_dir;
    QStringList m_rows;
};
} // namespace

TEST_F(TraceTest, OpenLogCreatesTheDailyProcessFileWithTheSystemLine) {
    const QString name = QDate::currentDate().toString("yyyyMMdd") + "-WEBSRV-" +
                         QString::number(::getpid()) + ".log";
    const QString path = m_dir.filePath("Logs/" + name);
    EXPECT_EQ(Diagnostics::instance().log()->LogFilePath(), path);
    EXPECT_EQ(Diagnostics::instance().log()->maxsize(), 100000);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains(", 1, 0, 'User="));
}

TEST_F(TraceTest, DurationsAreWholeMillisecondsRoundedDown) {
    EXPECT_EQ(diagnostics::DurationText(0.0156), "15 ms");
    EXPECT_EQ(diagnostics::DurationText(0), "0 ms");
    EXPECT_EQ(diagnostics::DurationText(-0.0001), "-1 ms");
    EXPECT_EQ(diagnostics::DurationText(diagnostics::NO_DURATION), "");
    EXPECT_EQ(diagnostics::DurationText(std::nan("")), "");

    diagnostics::WriteTrace("Load translations");
    diagnostics::WriteTrace("Processing time", 0.0156);
    diagnostics::WriteTrace("Zero", 0, 1);
    EXPECT_EQ(entries(), (QStringList{"0, 'Load translations'\r", "0, 'Processing time (15 ms)'\r",
                                      "1, 'Zero (0 ms)'\r"}));
    EXPECT_EQ(m_rows, (QStringList{"Load translations|", "Processing time|15 ms", "Zero|0 ms"}));
}

TEST_F(TraceTest, TracingWithoutALogRaises) {
    Diagnostics::instance().setLog(nullptr);
    EXPECT_THROW(diagnostics::WriteTrace("nowhere"), common::Error);
    EXPECT_TRUE(m_rows.isEmpty());
}

TEST_F(TraceTest, NotifyUserShowsOnlyWhenInteractiveButAlwaysLogs) {
    RecordingInterface ui;
    Diagnostics::instance().setUserInterface(&ui);
    EXPECT_EQ(diagnostics::NotifyUser("Shown", common::MB_YES_NO_CANCEL), common::ANSWER_YES);
    EXPECT_EQ(ui.shown, QStringList{"Shown|51|Quorvex (1.0.202)"});

    Diagnostics::instance().setInteractive(false);
    EXPECT_EQ(diagnostics::NotifyUser("Hidden", common::MB_WARNING), common::ANSWER_NONE);
    Diagnostics::instance().setInteractive(true);
    Diagnostics::instance().setUserInterface(nullptr);
    EXPECT_EQ(diagnostics::NotifyUser("Nobody", common::MB_ERROR), common::ANSWER_NONE);

    EXPECT_EQ(ui.shown.size(), 1);
    EXPECT_EQ(entries(), (QStringList{"0, 'Shown'\r", "0, 'Hidden'\r", "0, 'Nobody'\r"}));
}

TEST_F(TraceTest, AppErrorHandlerLogsTheLanguageSentenceAndCloses) {
    int closed = 0;
    Diagnostics::instance().setCloseServer([&closed] { ++closed; });
    i18n::SetLanguageOverrides({}, m_dir.filePath("nolanguages"));
    try {
        i18n::LoadLanguage("fr");
        FAIL() << "loaded a missing file";
    } catch (const common::Error& e) {
        diagnostics::AppErrorHandler({}, e.number(), e.description());
    }
    diagnostics::AppErrorHandler("ignored", 5, "Plain it's");
    EXPECT_EQ(closed, 2);

    QFile f(Diagnostics::instance().log()->LogFilePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray log = f.readAll();
    EXPECT_TRUE(
        log.contains(", 2, 'The application was unable to load the translation file for the "
                     "specified language ''fr''.\r\nError loading language file: " +
                     m_dir.filePath("nolanguages/fr.xml").toUtf8() + "'\r\n"));
    EXPECT_TRUE(log.contains(", 2, 'Plain it''s'\r\n"));
}

TEST_F(TraceTest, AppErrorHandlerClosesEvenWhenTheLogFails) {
    int closed = 0;
    Diagnostics::instance().setCloseServer([&closed] { ++closed; });
    Diagnostics::instance().setLog(nullptr);
    EXPECT_NO_THROW(diagnostics::AppErrorHandler({}, 1000, "disk gone"));
    EXPECT_EQ(closed, 1);
}
