#pragma once

#include "common/userinterface.h"
#include "diagnostics/log.h"
#include "diagnostics/trace.h"
#include "i18n/language.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Readable failure output for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// Records what would have been shown and answers as told.
class RecordingInterface final : public common::UserInterface {
public:
    int messageBox(const QString& text, int style, const QString&) override {
        shown.append(QString::number(style) + "|" + text);
        return answer;
    }
    bool showSettingsDialog() override { return false; }
    bool openUrl(const QString& url) override {
        opened.append(url);
        return true;
    }
    void windowStateChanged() override {}

    QStringList shown;
    QStringList opened;
    int answer = common::ANSWER_YES;
};

// A temporary folder with an open log, a recording user interface and a small
// language file loaded.
class StartupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        auto& d = diagnostics::Diagnostics::instance();
        d.reset();
        d.setUserInterface(&m_ui);
        d.setInteractive(true);
        diagnostics::OpenLog(m_dir.path());
        QFile language(m_dir.filePath("test.xml"));
        ASSERT_TRUE(language.open(QIODevice::WriteOnly));
        language.write(
            "<Language>"
            "<Label id=\"msgInvalidAppFolder\">No such folder</Label>"
            "<Label id=\"msgMissingAppElements\">Complete {AppPath}?</Label>"
            "<Label id=\"HomePageText\">&lt;P&gt;{ProductName} at {HomePageFile}&lt;/P&gt;"
            "</Label></Language>");
        language.close();
        i18n::SetLanguageOverrides(language.fileName(), QString());
        i18n::LoadLanguage("en");
    }
    void TearDown() override {
        i18n::UnloadLanguage();
        diagnostics::Diagnostics::instance().reset();
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    // The log's text, one entry per line.
    QString logText() {
        QFile f(diagnostics::Diagnostics::instance().log()->LogFilePath());
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    RecordingInterface m_ui;
};
