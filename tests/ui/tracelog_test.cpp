#include "common/usersettings.h"
#include "i18n/language.h"
#include "tests/support/programfolder.h"
#include "ui/tracelogwindow.h"
#include "ui/twips.h"

#include <QHeaderView>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        i18n::SetLanguageOverrides(support::StageDir() + "/language/en.xml", QString());
        i18n::LoadLanguage("en");
        m_window = std::make_unique<ui::TraceLogWindow>([this] { ++m_helpShown; });
    }
    void TearDown() override {
        m_window.reset();
        i18n::UnloadLanguage();
    }

    QTreeWidget* list() const { return m_window->findChild<QTreeWidget*>("lvTrace"); }
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(name); }
    // The rows' descriptions, after the waiting batch.
    QStringList descriptions() const {
        m_window->flushEntries();
        QStringList texts;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            texts << list()->topLevelItem(i)->text(1);
        return texts;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ui::TraceLogWindow> m_window;
    int m_helpShown = 0;
};

} // namespace

TEST_F(TraceLogTest, CollectsOnlyWhileShownFromTheMenu) {
    m_window->AddEntry("before", "");
    m_window->showFromMenu();
    EXPECT_EQ(m_window->windowTitle(), "Trace Log");
    m_window->AddEntry("Processing time", "15 ms");
    EXPECT_EQ(descriptions(), QStringList{"Processing time"});
    EXPECT_EQ(list()->topLevelItem(0)->text(2), "15 ms");
    EXPECT_FALSE(list()->topLevelItem(0)->text(0).isEmpty());

    // A burst arrives whole, in order, in one batch.
    for (int i = 0; i < 10000; ++i)
        m_window->AddEntry(QString::number(i), "");
    const QStringList burst = descriptions();
    ASSERT_EQ(burst.size(), 10001);
    EXPECT_EQ(burst.last(), "9999");

    button("cmdClear")->click();
    EXPECT_TRUE(descriptions().isEmpty());
    button("cmdHelp")->click();
    EXPECT_EQ(m_helpShown, 1);

    // Close hides, empties and stops collecting; the next opening starts afresh.
    m_window->AddEntry("waiting", "");
    button("cmdClose")->click();
    EXPECT_FALSE(m_window->isVisible());
    m_window->AddEntry("while hidden", "");
    m_window->showFromMenu();
    m_window->AddEntry("after", "");
    EXPECT_EQ(descriptions(), QStringList{"after"});
}

TEST_F(TraceLogTest, ColumnWidthsAreKeptPerUserInTwips) {
    m_window->showFromMenu();
    const double dpi = m_window->logicalDpiX();
    QHeaderView* header = list()->header();
    EXPECT_EQ(header->sectionSize(0), ui::TwipsToPixels(1620, dpi));
    EXPECT_EQ(header->sectionSize(1), ui::TwipsToPixels(4000, dpi));
    EXPECT_EQ(header->sectionSize(2), ui::TwipsToPixels(1000, dpi));

    header->resizeSection(1, 300);
    m_window->close(); // the close box unloads the window
    EXPECT_EQ(
        common::GetSetting("Quorvex - Web Server", "Settings", "Trace.Headers.Description.Width"),
        QString::number(ui::PixelsToTwips(300, dpi)));

    // A new run (a new window) finds them; an unreadable value gives the default.
    common::SaveSetting("Quorvex - Web Server", "Settings", "Trace.Headers.Info.Width", "wide");
    ui::TraceLogWindow next([] {});
    next.showFromMenu();
    QHeaderView* nextHeader = next.findChild<QTreeWidget*>("lvTrace")->header();
    EXPECT_EQ(nextHeader->sectionSize(1), 300);
    EXPECT_EQ(nextHeader->sectionSize(2), ui::TwipsToPixels(1000, dpi));
}

TEST_F(TraceLogTest, LayoutKeepsButtonsBottomRightAndNeverGoesNegative) {
    m_window->showFromMenu();
    m_window->resize(700, 400);
    const QRect help = button("cmdHelp")->geometry();
    const QRect clear = button("cmdClear")->geometry();
    const QRect close = button("cmdClose")->geometry();
    EXPECT_LT(close.right(), clear.left());
    EXPECT_LT(clear.right(), help.left());
    EXPECT_EQ(close.top(), help.top());
    EXPECT_LE(help.right(), 700);
    EXPECT_LT(list()->geometry().bottom(), help.top());

    m_window->resize(20, 20);
    for (QWidget* child :
         {static_cast<QWidget*>(list()), static_cast<QWidget*>(button("cmdHelp")),
          static_cast<QWidget*>(button("cmdClear")), static_cast<QWidget*>(button("cmdClose"))}) {
        const QRect g = child->geometry();
        EXPECT_GE(g.x(), 0) << child->objectName().toStdString();
        EXPECT_GE(g.y(), 0) << child->objectName().toStdString();
        EXPECT_GE(g.width(), 0) << child->objectName().toStdString();
        EXPECT_GE(g.height(), 0) << child->objectName().toStdString();
    }
}
