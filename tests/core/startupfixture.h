#pragma once

#include "i18n/language.h"
#include "tests/support/programfolder.h"
#include "tests/support/qtprinters.h"
#include "tests/support/recordeddiagnostics.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

// A temporary folder with an open log, a recording user interface in an interactive run and
// a small language file loaded.
class StartupFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(support::WriteFile(
            path("test.xml"),
            "<Language>"
            "<Label id=\"msgInvalidAppFolder\">No such folder</Label>"
            "<Label id=\"msgMissingAppElements\">Complete {AppPath}?</Label>"
            "<Label id=\"HomePageText\">&lt;P&gt;{ProductName} at {HomePageFile}&lt;/P&gt;"
            "</Label></Language>"));
        i18n::SetLanguageOverrides(path("test.xml"), QString());
        i18n::LoadLanguage("en");
    }
    void TearDown() override { i18n::UnloadLanguage(); }

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString logText() const { return m_diagnostics.logText(); }

    QTemporaryDir m_dir;
    support::RecordedDiagnostics m_diagnostics{m_dir.path()};
    support::RecordingInterface& m_ui = m_diagnostics.ui;
};
